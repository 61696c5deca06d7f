// The help links window KORUHelp1: a column of link buttons in a frame with its
// scroll bar, and the description box; a view over HelpForm.
#pragma once

#include "ui/FormWindow.h"
#include "update/HelpForm.h"

#include <QWidget>

class QFrame;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;

class KORUHelp1 : public FormWindow<QWidget> {
public:
    explicit KORUHelp1(HelpForm& form);

    QFrame* Frame1() const { return frame_; }
    QPushButton* Command1() const { return command1_; }
    QScrollBar* VScroll1() const { return scroll_; }
    QPlainTextEdit* Text1() const { return text_; }

private:
    QFrame* frame_;
    QPushButton* command1_;
    QScrollBar* scroll_;
    QPlainTextEdit* text_;
};
