// The help links window's logic without a screen: the column built from the
// help folder, scrolling, the link shown on mouse-over and opened on a click.
#include "platform/runtime/ShellExecute.h"
#include "support/FormsFixture.h"

#include <QDir>

namespace {

class HelpFormTest : public FormsFixture {
protected:
    HelpFormTest() {
        previousShell_ = SetShellExecuteHandler(
            [this](const ShellExecuteRequest& request) { opened.append(request); });
    }
    ~HelpFormTest() override { SetShellExecuteHandler(std::move(previousShell_)); }

    HelpForm& help() { return forms.KORUHelp1; }
    void Put(const QByteArray& name, const QByteArray& bytes = "x") {
        home.Write(("files/koru/help/" + name).constData(), bytes);
    }
    // `count` links named link00, link01, ...
    void PutLinks(int count) {
        for (int i = 0; i < count; ++i) {
            const QByteArray base = "link" + QByteArray::number(i).rightJustified(2, '0');
            Put(base + ".gif");
            Put(base + ".txt", "https://vanto.example/" + base + "\r\nAbout " + base + "\r\n");
        }
    }
    void MouseOver(int index) { help().Command1_MouseMove(index, 0, 0, 10, 10); }
    QList<int> Tops() {
        QList<int> tops;
        for (const LinkButton& button : help().Command1)
            tops.append(button.Top);
        return tops;
    }

    QList<ShellExecuteRequest> opened;
    // The outer height of the window in the recording view.
    static constexpr int windowHeight = 5535;

private:
    ShellExecuteHandler previousShell_;
};

TEST_F(HelpFormTest, ThreePairsStandEdgeToEdgeWithoutScrolling) {
    PutLinks(3);
    help().Load();
    EXPECT_EQ(Tops(), (QList<int>{0, 1200, 2400}));
    EXPECT_EQ(help().Frame1.Height, 3810);
    EXPECT_EQ(help().VScroll1.Max, 0);
    const QString folder = home.filePath("files/koru/help");
    EXPECT_EQ(help().Command1.at(2).Picture, folder + QStringLiteral("/link02.gif"));
    for (const LinkButton& button : help().Command1) {
        EXPECT_TRUE(button.Visible);
        EXPECT_TRUE(button.Enabled);
        EXPECT_EQ(button.Height, 1200);
    }
}

TEST_F(HelpFormTest, TenPairsScrollByTheFrameBeyondTheWindow) {
    PutLinks(10);
    help().Load();
    EXPECT_EQ(help().Command1UBound(), 9);
    EXPECT_EQ(help().Frame1.Height, 12700);
    EXPECT_EQ(help().VScroll1.Max, 12700 - windowHeight);
    help().SetVScroll1Value(help().VScroll1.Max);
    EXPECT_EQ(help().Frame1.Top, -(12700 - windowHeight));
    help().SetVScroll1Value(help().VScroll1.Max + 500); // a bar never goes past its end
    EXPECT_EQ(help().Frame1.Top, -(12700 - windowHeight));
    help().SetVScroll1Value(0);
    EXPECT_EQ(help().Frame1.Top, 0);
}

TEST_F(HelpFormTest, ALongColumnStaysReachableBeyondSixteenBits) {
    PutLinks(40);
    help().Load();
    EXPECT_EQ(help().VScroll1.Max, 40 * 1270 - windowHeight);
}

TEST_F(HelpFormTest, NoPicturesGiveOneDisabledEmptyButton) {
    const struct {
        const char* what;
        bool removeFolder;
    } cases[] = {{"empty folder", false}, {"no folder", true}};
    for (const auto& c : cases) {
        if (c.removeFolder)
            QDir(home.filePath("files/koru/help")).removeRecursively();
        help().Load();
        ASSERT_EQ(help().Command1.size(), 1U) << c.what;
        EXPECT_FALSE(help().Command1.at(0).Enabled) << c.what;
        EXPECT_TRUE(help().Command1.at(0).Visible) << c.what;
        EXPECT_TRUE(help().Command1.at(0).Picture.isEmpty()) << c.what;
        EXPECT_EQ(help().Frame1.Height, 1270) << c.what;
        help().Unload();
    }
}

TEST_F(HelpFormTest, PicturesPairWithTextsInAlphabeticalOrderIgnoringCase) {
    Put("b.gif");
    Put("A.GIF"); // found though its ending is in capitals
    Put("c.Gif");
    Put("a.txt", "first\r\n");
    Put("B.txt", "second\r\n");
    Put("c.TXT", "third\r\n");
    Put("notes.doc");
    help().Load();
    const QString folder = home.filePath("files/koru/help") + u'/';
    ASSERT_EQ(help().Command1.size(), 3U);
    EXPECT_EQ(help().Command1.at(0).Picture, folder + QStringLiteral("A.GIF"));
    EXPECT_EQ(help().Command1.at(1).Picture, folder + QStringLiteral("b.gif"));
    EXPECT_EQ(help().Command1.at(2).Picture, folder + QStringLiteral("c.Gif"));
    for (int i = 0; i < 3; ++i)
        MouseOver(i);
    EXPECT_EQ(help().Command1.at(0).ToolTipText, QByteArray("first"));
    EXPECT_EQ(help().Command1.at(1).ToolTipText, QByteArray("second"));
    EXPECT_EQ(help().Command1.at(2).ToolTipText, QByteArray("third"));
}

TEST_F(HelpFormTest, MouseOverShowsTheTargetAsTooltipAndTheRestAsDescription) {
    Put("a.gif");
    Put("a.txt", "https://vanto.example/a\r\nLine one\rLine two\r\n\r\nLast");
    Put("b.gif");
    Put("b.txt", "https://vanto.example/b\r\n");
    help().Load();
    MouseOver(0);
    EXPECT_EQ(help().Command1.at(0).ToolTipText, QByteArray("https://vanto.example/a"));
    EXPECT_EQ(help().Text1, QByteArray("Line one\r\nLine two\r\n\r\nLast\r\n"));
    MouseOver(1); // one line only: the description box is emptied
    EXPECT_EQ(help().Command1.at(1).ToolTipText, QByteArray("https://vanto.example/b"));
    EXPECT_EQ(help().Text1, QByteArray());
}

TEST_F(HelpFormTest, APictureWithoutItsTextShowsNoLink) {
    Put("a.gif");
    Put("b.gif");
    Put("a.txt", "https://vanto.example/a\r\nAbout a\r\n");
    Put("empty.gif");
    Put("empty.txt", "");
    help().Load();
    MouseOver(0);
    MouseOver(2); // the third picture has no third text file
    EXPECT_EQ(help().Command1.at(2).ToolTipText, QByteArray());
    EXPECT_EQ(help().Text1, QByteArray());
    MouseOver(1); // an empty text file: no target, no description
    EXPECT_EQ(help().Command1.at(1).ToolTipText, QByteArray());
    EXPECT_EQ(help().Text1, QByteArray());
}

TEST_F(HelpFormTest, ATextFileGoneSinceLoadIsReportedInTheDescription) {
    PutLinks(1);
    help().Load();
    QFile::remove(home.filePath("files/koru/help/link00.txt"));
    MouseOver(0);
    EXPECT_TRUE(help().Text1.startsWith("Cannot read "));
    EXPECT_TRUE(help().Text1.endsWith("link00.txt: File not found"));
}

TEST_F(HelpFormTest, ClickOpensTheTargetKnownFromMouseOver) {
    PutLinks(2);
    help().Load();
    help().Command1_Click(1); // keyboard, before any mouse-over
    MouseOver(1);
    help().Command1_Click(1);
    ASSERT_EQ(opened.size(), 2);
    for (const ShellExecuteRequest& request : opened) {
        EXPECT_EQ(request.operation, QByteArray("Open"));
        EXPECT_EQ(request.parameters, QByteArray());
        EXPECT_EQ(request.directory, QByteArray());
        EXPECT_EQ(request.showCommand, SW_SHOWMINIMIZED);
    }
    EXPECT_EQ(opened.at(0).file, QByteArray());
    EXPECT_EQ(opened.at(1).file, QByteArray("https://vanto.example/link01"));
}

TEST_F(HelpFormTest, OnlyWebAndMailTargetsAreOpened) {
    const struct {
        QByteArray target;
        bool opened;
    } cases[] = {
        {"http://vanto.example/faq", true},
        {"HTTPS://vanto.example", true},
        {"www.vanto.example/forum", true},
        {"mailto:help@vanto.example", true},
        {" https://vanto.example ", true},
        {"file:///etc/passwd", false},
        {"/usr/bin/xterm", false},
        {"evil.desktop", false},
        {"javascript:alert(1)", false},
        {"http:nohost", false},
        {"mailto:", false},
        {"smb://share/x", false},
    };
    Put("link.gif");
    Put("link.txt");
    help().Load();
    for (const auto& c : cases) {
        opened.clear();
        Put("link.txt", c.target + "\r\nAbout it.\r\n");
        MouseOver(0);
        help().Command1_Click(0);
        help().Command1_Click(0); // the note is not repeated
        EXPECT_EQ(opened.size(), c.opened ? 2 : 0) << c.target.constData();
        EXPECT_EQ(help().Text1,
                  c.opened ? QByteArray("About it.\r\n")
                           : "About it.\r\n" + QByteArray(HelpForm::notOpenedNote) + "\r\n")
            << c.target.constData();
    }
}

TEST(HelpFormAddressTest, MailAddressesLoseTheirAttachments) {
    const struct {
        QByteArray target;
        QByteArray handed;
    } cases[] = {
        {"mailto:help@vanto.example?subject=Hi%26bye",
         "mailto:help@vanto.example?subject=Hi%26bye"},
        {"mailto:h@v.example?subject=Hi&attach=/etc/passwd", "mailto:h@v.example?subject=Hi"},
        {"mailto:h@v.example?ATTACHMENT=~/.ssh/id_rsa&body=x", "mailto:h@v.example?body=x"},
        {"mailto:h@v.example?%61ttach=%2Fetc%2Fpasswd", "mailto:h@v.example"},
        {"https://vanto.example/?attach=x", "https://vanto.example/?attach=x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HelpForm::WebAddress(c.target).toEncoded(), c.handed) << c.target.constData();
}

TEST_F(HelpFormTest, ALoadShowsTheFolderAsItIsThen) {
    PutLinks(3);
    help().Load();
    MouseOver(0);
    help().Unload();
    PutLinks(4);
    help().Load();
    EXPECT_EQ(Tops(), (QList<int>{0, 1200, 2400, 3600}));
    EXPECT_EQ(help().Command1.at(0).ToolTipText, QByteArray());
    EXPECT_EQ(help().Text1, QByteArray());
}

} // namespace
