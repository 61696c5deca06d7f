// The help links window KORUHelp1 as the logic sees it: the help folder's
// pictures as a column of link buttons in a frame that a scroll bar moves,
// each link's description shown on mouse-over and its target opened by the
// shell on a click. Opened from the main window's menu, it can outlive it.
#pragma once

#include "platform/runtime/FileListBox.h"
#include "platform/runtime/Form.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <functional>
#include <vector>

class Forms;

// One element of the Command1 control array (twips).
struct LinkButton {
    int Top = 0;
    int Height = 1200;
    bool Visible = true;
    bool Enabled = true;
    QString Picture; // the picture file on the button's face; empty for none
    QByteArray ToolTipText;
};

struct FrameControl {
    int Top = 0;
    int Height = 2550;
};

struct ScrollBarControl {
    int Value = 0;
    int Max = 0;
};

class HelpForm : public Form {
public:
    explicit HelpForm(Forms& forms);

    static constexpr int buttonWidth = 1920;
    // Space the frame keeps per button beyond the button itself.
    static constexpr int buttonMargin = 70;

    FileListBox File1; // the help folder's pictures
    FileListBox File2; // the help folder's texts
    FrameControl Frame1;
    std::vector<LinkButton> Command1;
    ScrollBarControl VScroll1;
    QByteArray Text1;

    int Command1UBound() const { return static_cast<int>(Command1.size()) - 1; }

    // The address a link target stands for when it is one to hand to the
    // desktop: an http:, https: or mailto: address, or a plain "www." one
    // (taken as http). Empty for anything else (a file, a program, another
    // scheme): the target comes from the server, so nothing local is opened.
    // A mailto: address loses its attach= and attachment= fields.
    static QUrl WebAddress(const QByteArray& target);
    static QUrl WithoutAttachments(QUrl url);
    // The line after the description when a click opened nothing.
    static constexpr char notOpenedNote[] = "Not opened: only web and mail addresses are opened.";

    void Command1_MouseMove(int Index, int Button, int Shift, float X, float Y);
    void Command1_Click(int Index);
    void VScroll1_Change();
    void VScroll1_Scroll();
    // The user moved the scroll bar to `value`.
    void SetVScroll1Value(int value);

    // Called after the controls' state changed, for the view.
    std::function<void()> refreshView;

protected:
    void InitializeControls() override;
    void ReleaseControls() override;
    void Form_Load() override;
    void Form_Unload() override;

private:
    void Changed();
    // Reads link `Index`'s target into its tooltip and its description into Text1.
    void ShowLink(int Index);

    Forms& forms_;
};
