// Choosing where the archive goes asks through the front end's callbacks,
// never through a dialog or a message box of its own.
#include "update/files/ArchiveDownload.h"

#include "support/DialogAnswers.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(ArchiveDownloadTest, AsksThroughItsCallbacksAlone) {
    const DialogAnswers seams;
    QTemporaryDir dir;
    const QString kept = dir.filePath(QStringLiteral("kept.ZIP"));
    WriteFile(kept, "content");
    QByteArrayList asked;
    const auto target = ArchiveDownload::ChooseSaveTarget(
        [&kept] { return QFile::encodeName(kept); },
        [&asked](const QByteArray& question, const QByteArray& title) {
            asked << title + '|' + question;
            return false;
        });
    EXPECT_FALSE(target);
    EXPECT_EQ(asked, QByteArrayList{"Overwrite?|File aready exists!\r\nOverwrite?"});
    EXPECT_TRUE(seams.dialogs.isEmpty());
    EXPECT_TRUE(seams.boxes.isEmpty());
    EXPECT_EQ(ReadFile(kept), "content");
}

} // namespace
