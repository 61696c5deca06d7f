// The release list's text: what a hand-written list may look like, the one
// koru-publish writes read back whole, and a named reason for each refusal.
#include "update/trust/ReleaseList.h"

#include "update/trust/ListedFileCheck.h"

#include <gtest/gtest.h>
#include <sodium.h>

namespace {

const QByteArray hashA = QByteArray(32, '\xab');
const QByteArray hashHex = hashA.toHex();

const QByteArray fileLine = "file 7 " + hashHex + " koru/a.txt\n";

QByteArray Header() {
    return "koru-release 1\nserial 42\nexpires 2027-01-06T12:00:00Z\nvanto 02.14\nepoch 3\n";
}

TEST(ReleaseListTest, HandWrittenListReadsInAnyOrderWithCommentsAndCrLf) {
    const ReleaseList list = ReleaseList::Parse(
        "koru-release 1\r\n# made by hand\r\n\r\nepoch 3\r\nvanto 02.14\r\nfile 7 " + hashHex +
        " koru/my links.txt\r\nserial 42\r\nexpires 2027-01-06T12:00:00Z\r\n");
    ASSERT_TRUE(list.Valid()) << list.problem.constData();
    EXPECT_EQ(list.serial, 42);
    EXPECT_EQ(list.epoch, 3);
    EXPECT_EQ(list.offeredVersion, "02.14");
    EXPECT_EQ(ReleaseList::TimeText(list.expires), "2027-01-06T12:00:00Z");
    const ReleaseList::Entry* entry = list.Find("koru/my links.txt");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->length, 7);
    EXPECT_EQ(entry->hash, hashA);
    EXPECT_EQ(list.Find("koru/my"), nullptr);
}

// Later KORUs may add fields: this one skips them, even twice, and still
// reads the fields it knows.
TEST(ReleaseListTest, UnknownFieldsAreSkippedAndTheInstallFieldsReadBack) {
    const ReleaseList list = ReleaseList::Parse(Header() + "mirror x\nmirror y\n" + fileLine +
                                                "install koru/a.txt\nprogram bin/vanto\n");
    ASSERT_TRUE(list.Valid()) << list.problem.constData();
    EXPECT_EQ(list.installable, "koru/a.txt");
    EXPECT_EQ(ReleaseList::Parse(list.Text()).installable, "koru/a.txt");
    EXPECT_EQ(ReleaseList::Parse(list.Text()).program, "bin/vanto");
    EXPECT_FALSE(list.Text().contains("mirror"));
}

struct Refusal {
    const char* name;
    QByteArray text;
    const char* problem;
};

class ReleaseListRefusalTest : public ::testing::TestWithParam<Refusal> {};

TEST_P(ReleaseListRefusalTest, SaysWhy) {
    const ReleaseList list = ReleaseList::Parse(GetParam().text);
    EXPECT_EQ(list.problem, QByteArray("The release list is malformed: ") + GetParam().problem);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReleaseListRefusalTest,
    ::testing::Values(
        Refusal{"Empty", "", "it is empty."},
        Refusal{"TooLarge", Header() + QByteArray(16 * 1024, '#'), "it is larger than 16 KiB."},
        Refusal{"NoHeader", "serial 42\n", "its first line is not \"koru-release 1\"."},
        Refusal{"LaterFormat", "koru-release 2\n",
                "it has format version \"2\"; this KORU reads version 1."},
        Refusal{"InstallUnlisted", Header() + fileLine + "install vanto.zip\n",
                "line 7 marks \"vanto.zip\" installable, which it does not list."},
        Refusal{"InstallUpwards", Header() + "install ../vanto.zip\n",
                "line 6 names an archive to install that is not a plain path under files/."},
        Refusal{"ProgramAbsolute", Header() + "program /bin/vanto\n",
                "line 6 names a VANTO program that is not a plain path in VANTO's folder."},
        Refusal{"ProgramUpwards", Header() + "program bin/../../vanto\n",
                "line 6 names a VANTO program that is not a plain path in VANTO's folder."},
        Refusal{"ProgramWithoutValue", Header() + "program\n", "line 6 is not \"FIELD VALUE\"."},
        Refusal{"ProgramWithoutInstall", Header() + fileLine + "program bin/vanto\n",
                "line 7 names VANTO's program, but no archive to install."},
        Refusal{"SerialTwice", Header() + "serial 43\n", "line 6 names \"serial\" a second time."},
        Refusal{"NoExpiry", "koru-release 1\nserial 1\nvanto 1\nepoch 0\n",
                "it has no \"expires\" line."},
        Refusal{"SignedSerial", "koru-release 1\nserial -4\n",
                "line 2 has a serial that is not a whole number."},
        Refusal{"LocalTime", "koru-release 1\nexpires 2027-01-06T12:00:00+01:00\n",
                "line 2 has an expiry that is not a UTC time like 2027-01-06T12:00:00Z."},
        Refusal{"NoSuchDay", "koru-release 1\nexpires 2027-02-30T12:00:00Z\n",
                "line 2 has an expiry that is not a UTC time like 2027-01-06T12:00:00Z."},
        Refusal{"LongVersion", "koru-release 1\nvanto " + QByteArray(33, '1') + '\n',
                "line 2 has a VANTO version that is not 1 to 32 characters."},
        Refusal{"NoValue", "koru-release 1\nserial\n", "line 2 is not \"FIELD VALUE\"."},
        Refusal{"TrailingBlank", "koru-release 1\nserial 4 \n", "line 2 ends in a blank."},
        Refusal{"ControlCharacter", "koru-release 1\nvanto 1\t2\n",
                "line 2 holds a control character."},
        Refusal{"FileWithoutPath", Header() + "file 7 " + hashHex + '\n',
                "line 6 is not \"file LENGTH HASH PATH\"."},
        Refusal{"ShortHash", Header() + "file 7 abcd koru/a.txt\n",
                "line 6 has a hash that is not 64 hex digits."},
        Refusal{"HashNotHex", Header() + "file 7 " + QByteArray(64, 'g') + " koru/a.txt\n",
                "line 6 has a hash that is not 64 hex digits."},
        Refusal{"NegativeLength", Header() + "file -7 " + hashHex + " koru/a.txt\n",
                "line 6 has a length that is not a whole number."},
        Refusal{"PathUpwards", Header() + "file 7 " + hashHex + " koru/../../etc/passwd\n",
                "line 6 names a path that is not a plain path under files/."},
        Refusal{"PathAbsolute", Header() + "file 7 " + hashHex + " /files/vanto.zip\n",
                "line 6 names a path that is not a plain path under files/."},
        Refusal{"PathTwice", Header() + fileLine + fileLine,
                "line 7 names \"koru/a.txt\" a second time."}),
    [](const ::testing::TestParamInfo<Refusal>& row) { return row.param.name; });

// A body arriving in pieces of 5 bytes, against a listed length and hash.
struct Arrival {
    const char* name;
    QByteArray body;
    bool cutOff;
    const char* problem;
};

class ListedFileCheckTest : public ::testing::TestWithParam<Arrival> {};

const QByteArray listedBody = "VER = 02.14\r\nVANTO 2.14 is available.\r\n";

TEST_P(ListedFileCheckTest, GivesTheVerdict) {
    QByteArray hash(ReleaseList::hashSize, Qt::Uninitialized);
    crypto_generichash(reinterpret_cast<unsigned char*>(hash.data()), size_t(hash.size()),
                       reinterpret_cast<const unsigned char*>(listedBody.constData()),
                       size_t(listedBody.size()), nullptr, 0);
    ListedFileCheck check({"koru/vanto_ver.txt", listedBody.size(), hash});
    const QByteArray& body = GetParam().body;
    bool cutOff = false;
    for (qsizetype at = 0; at < body.size() && !cutOff; at += 5)
        cutOff = !check.Update(body.constData() + at, std::min<qsizetype>(5, body.size() - at));
    EXPECT_EQ(cutOff, GetParam().cutOff);
    EXPECT_EQ(check.Verdict(), GetParam().problem);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ListedFileCheckTest,
    ::testing::Values(
        Arrival{"AsListed", listedBody, false, ""},
        Arrival{"OneByteMore", listedBody + 'x', true,
                "The file is longer than the 39 bytes the release list names."},
        Arrival{"Short", listedBody.chopped(1), false,
                "The file has 38 bytes; the release list names 39."},
        Arrival{"OtherBytes", QByteArray(listedBody).replace("2.14", "2.15"), false,
                "The file's BLAKE2b-256 hash differs from the one the release list names."}),
    [](const ::testing::TestParamInfo<Arrival>& row) { return row.param.name; });

} // namespace
