// The main window on the screen: caption, fixed client area, menu bar with its
// exact captions, the Download submenu's rule as it opens, and the log's looks.
#include "WindowsFixture.h"

#include <QFontInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>

namespace {

class MainWindowTest : public WindowsFixture {
protected:
    MainWindowTest() { koru->Start(); }
    KORU2& window() { return koru->koru2; }
    MainForm& main() { return koru->forms.KORU2; }
    QPlainTextEdit& log() { return *window().SystemMessagesText1(); }

    QMenu* MenuOf(const MenuItem& item) { return window().ActionOf(item)->menu(); }

    // The submenu's entries as "text|enabled", separators as "-".
    static QStringList Entries(const QMenu& menu) {
        QStringList entries;
        for (const QAction* action : menu.actions()) {
            if (!action->isVisible()) // not in the menu the user sees
                continue;
            entries.append(action->isSeparator()
                               ? QStringLiteral("-")
                               : action->text() + (action->isEnabled() ? u"|on"_qs : u"|off"_qs));
        }
        return entries;
    }
};

} // namespace

TEST_F(MainWindowTest, ShowsWithItsCaptionAndAFixedClientArea) {
    EXPECT_TRUE(window().isVisible());
    EXPECT_EQ(window().windowTitle(), u"KORU"_qs);
    EXPECT_EQ(window().centralWidget(), &log());
    EXPECT_EQ(log().size(), ClientSize(8775, 4695));
    EXPECT_EQ(window().minimumSize(), window().maximumSize());
    EXPECT_FALSE(window().windowIcon().isNull());
}

TEST_F(MainWindowTest, MenuBarKeepsTheExactCaptionsAndTheirTrailingBlanks) {
    QStringList heads;
    for (const QAction* action : window().menuBar()->actions())
        heads.append(action->text());
    EXPECT_EQ(heads,
              (QStringList{u"UPDATES     "_qs, u"SPECIAL DOWNLOADS     "_qs, u"HELP     "_qs}));
    // The blanks widen the entry.
    const QAction* updates = window().menuBar()->actions().at(0);
    EXPECT_GT(window().menuBar()->actionGeometry(const_cast<QAction*>(updates)).width(),
              window().menuBar()->fontMetrics().horizontalAdvance(u"UPDATES    "_qs));

    EXPECT_EQ(Entries(*MenuOf(main().mnuUpdate)),
              (QStringList{u"Check for available updates|on"_qs, u"-"_qs, u"Download|on"_qs}));
    EXPECT_EQ(Entries(*MenuOf(main().mnuDownload)),
              (QStringList{u"All Available Updates|off"_qs, u"-"_qs, u"VANTO Update|off"_qs,
                           u"Help Links Update|off"_qs}));
    EXPECT_EQ(Entries(*MenuOf(main().mnuSpecialDownloads)),
              (QStringList{u"VANTO Plug-ins|on"_qs, u"Public Patches|on"_qs}));
    EXPECT_EQ(Entries(*MenuOf(main().mnuHelp)),
              (QStringList{u"Help Links|on"_qs, u"Search For Answers|on"_qs}));
}

TEST_F(MainWindowTest, OpeningDownloadOffersAllAvailableWhenEitherUpdateIs) {
    QMenu& download = *MenuOf(main().mnuDownload);
    download.popup(QPoint(0, 0));
    EXPECT_FALSE(window().ActionOf(main().mnuAllAvailableUpdates)->isEnabled());
    download.hide();

    main().mnuAvailableDownload(1).SetEnabled(true);
    EXPECT_TRUE(window().ActionOf(main().mnuAvailableDownload(1))->isEnabled());
    download.popup(QPoint(0, 0));
    EXPECT_TRUE(window().ActionOf(main().mnuAllAvailableUpdates)->isEnabled());
    download.hide();
}

TEST_F(MainWindowTest, AMenuClickRunsItsCommandAndADisabledHeadBlocksItsItems) {
    window().ActionOf(main().mnuSearchForAnswers)->trigger();
    EXPECT_TRUE(
        log().toPlainText().startsWith(u"Search KORU's Database of VANTO information.\n"_qs));

    main().mnuUpdate.SetEnabled(false);
    EXPECT_FALSE(window().ActionOf(main().mnuUpdate)->isEnabled());
}

TEST_F(MainWindowTest, LogIsGreenOnBlackFixedPitchReadOnlyWithAVerticalScrollBar) {
    const QPalette palette = log().palette();
    EXPECT_EQ(palette.color(QPalette::Text), QColor(0x00FF00));
    EXPECT_EQ(palette.color(QPalette::Base), QColor(Qt::black));
    EXPECT_TRUE(log().isReadOnly());
    EXPECT_EQ(log().verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(log().font().pointSizeF(), 11.25);
    const QString family = QFontInfo(log().font()).family();
    EXPECT_TRUE(family == u"Courier New"_qs || family == u"Liberation Mono"_qs)
        << family.toStdString();
    EXPECT_EQ(log().toPlainText(),
              u"Welcome to KORU.\n--------------------------------------\n"_qs);
}

TEST_F(MainWindowTest, EveryAppendScrollsTheLogToItsLastLine) {
    for (int line = 1; line <= 120; ++line) {
        main().SystemMessagesText1.Append("line " + QByteArray::number(line) + "\r\n");
        ASSERT_EQ(log().textCursor().position(), log().document()->characterCount() - 1);
        ASSERT_EQ(log().verticalScrollBar()->value(), log().verticalScrollBar()->maximum());
    }
    EXPECT_GT(log().verticalScrollBar()->maximum(), 0);
    QCoreApplication::processEvents(); // and it stays there once the layout has settled
    EXPECT_EQ(log().verticalScrollBar()->value(), log().verticalScrollBar()->maximum());
    EXPECT_TRUE(log().toPlainText().endsWith(u"line 120\n"_qs));
    main().SystemMessagesText1.SetText("short\r\n");
    EXPECT_EQ(log().textCursor().position(), log().document()->characterCount() - 1);
}

TEST_F(MainWindowTest, LogShowsDecodedTextWithoutChangingTheBytes) {
    const QByteArray utf8 = "caf\xc3\xa9\r\nline\rend\r\n";
    main().SystemMessagesText1.SetText(utf8);
    EXPECT_EQ(log().toPlainText(), u"caf\u00e9\nline\nend\n"_qs);
    EXPECT_EQ(main().SystemMessagesText1.Text(), utf8);

    const QByteArray latin1 = "caf\xe9 & co\r\n";
    main().SystemMessagesText1.SetText(latin1);
    EXPECT_EQ(log().toPlainText(), u"caf\u00e9 & co\n"_qs);
    EXPECT_EQ(main().SystemMessagesText1.Text(), latin1);
}
