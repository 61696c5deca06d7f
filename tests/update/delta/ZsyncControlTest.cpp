// The control file reader is strict: each way a control file can be broken
// or out of bounds is refused with its reason, starting from a real one.
#include "update/delta/ZsyncControl.h"

#include "support/DeltaFiles.h"
#include "support/TestFiles.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct BrokenCase {
    const char* name;
    const char* from; // replaced in the real file's text; "" leaves it as it is
    const char* to;
    const char* reason; // "" when it still reads
};

class ZsyncControlTest : public ::testing::TestWithParam<BrokenCase> {
protected:
    static void SetUpTestSuite() {
        static QTemporaryDir dir;
        QByteArray bytes(10000, Qt::Uninitialized);
        QRandomGenerator random(3);
        for (char& byte : bytes)
            byte = char(random.bounded(256));
        WriteFile(dir.filePath(QStringLiteral("small.bin")), bytes);
        ASSERT_TRUE(DeltaFiles::MakeControl(dir.path(), QStringLiteral("small.bin")));
        real = ReadFile(dir.filePath(QStringLiteral("small.bin.zsync")));
    }

    static QByteArray real;
};

QByteArray ZsyncControlTest::real;

TEST_P(ZsyncControlTest, RefusesWithTheReason) {
    const BrokenCase& c = GetParam();
    QByteArray text = real;
    const qsizetype at = text.indexOf(c.from);
    ASSERT_GE(at, 0) << c.from;
    text.replace(at, qsizetype(qstrlen(c.from)), c.to);
    ZsyncControl control;
    EXPECT_EQ(control.Read(text), c.reason) << text.left(text.indexOf("\n\n")).constData();
    if (*c.reason == '\0') {
        EXPECT_EQ(control.Length(), 10000);
        EXPECT_EQ(control.BlockCount(), 5);
        EXPECT_EQ(control.RsumBytes() + control.ChecksumBytes(), 5); // "2,2,3" for so small a file
    }
}

INSTANTIATE_TEST_SUITE_P(
    Broken, ZsyncControlTest,
    ::testing::Values(
        BrokenCase{"AsMade", "", "", ""},
        BrokenCase{"UnknownLinesAndMoreUrls", "URL: ", "Z-Foo: bar\nURL: http://a/b\nURL: ", ""},
        BrokenCase{"NotZsync", "zsync: ", "rsync: ", "not a zsync control file"},
        BrokenCase{"NewerVersion", "zsync: 0.6.2", "zsync: 0.7.0",
                   "the control file's version 0.7.0 is not understood"},
        BrokenCase{"NoBlankLine", "\n\n", "\n", "the control file has no end of its header"},
        BrokenCase{"LineWithoutValue", "Length:", "Length",
                   "a header line of the control file has no value: Length 10000"},
        BrokenCase{"BlocksizeNotPowerOfTwo", "Blocksize: 2048", "Blocksize: 2000",
                   "the control file's Blocksize is not a power of two in bounds"},
        BrokenCase{"BlocksizeHuge", "Blocksize: 2048", "Blocksize: 1073741824",
                   "the control file's Blocksize is not a power of two in bounds"},
        BrokenCase{"LengthAbsurd", "Length: 10000", "Length: 999999999999999999",
                   "the control file's Length is out of bounds"},
        BrokenCase{"TooManyBlocks", "Length: 10000", "Length: 68719476736",
                   "the control file has too many blocks"},
        BrokenCase{"LengthSigned", "Length: 10000", "Length: -1",
                   "the control file's Length is out of bounds"},
        BrokenCase{"LengthTwice", "Length: 10000", "Length: 10000\nLength: 10000",
                   "the control file repeats Length"},
        BrokenCase{"LengthDisagreesWithTable", "Length: 10000", "Length: 12289",
                   "the control file's block table does not match its Length and Blocksize"},
        BrokenCase{"SeqMatchesThree", "Hash-Lengths: 2,", "Hash-Lengths: 3,",
                   "the control file's Hash-Lengths are out of bounds"},
        BrokenCase{"RsumFive", "Hash-Lengths: 2,2", "Hash-Lengths: 2,5",
                   "the control file's Hash-Lengths are out of bounds"},
        BrokenCase{"TwoNumbers", "Hash-Lengths: 2,2,", "Hash-Lengths: 2,",
                   "the control file's Hash-Lengths is not three numbers"},
        BrokenCase{"Sha1Short", "SHA-1: ", "SHA-1: 0",
                   "the control file's SHA-1 is not 40 hex digits"},
        BrokenCase{"NoUrl", "URL: ", "Y-URL: ",
                   "the control file lacks Length, Blocksize, Hash-Lengths, SHA-1 or URL"},
        BrokenCase{"NoLength", "Length: ", "Size: ",
                   "the control file lacks Length, Blocksize, Hash-Lengths, SHA-1 or URL"}),
    [](const auto& row) { return std::string(row.param.name); });

// The table is checked against the header to the byte, both ways.
TEST_F(ZsyncControlTest, TableOneByteShortOrLongIsRefused) {
    ZsyncControl control;
    const QByteArray reason =
        "the control file's block table does not match its Length and Blocksize";
    EXPECT_EQ(control.Read(real.chopped(1)), reason);
    EXPECT_EQ(control.Read(real + 'x'), reason);
}

} // namespace
