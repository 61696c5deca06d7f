// The help links window KORUHelp1: a column of link buttons in a frame with its
// scroll bar, and the description box; a view over HelpForm.
#pragma once

#include "ui/FormWindow.h"
#include "update/windows/HelpForm.h"

#include <QList>
#include <QWidget>

class QFrame;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;

class KORUHelp1 : public FormWindow<QWidget> {
public:
    explicit KORUHelp1(HelpForm& form);
    ~KORUHelp1() override;

    QFrame* Frame1() const { return frame_; }
    QPushButton* Command1(int index = 0) const { return buttons_.at(index); }
    int Command1Count() const { return static_cast<int>(buttons_.size()); }
    QScrollBar* VScroll1() const { return scroll_; }
    QPlainTextEdit* Text1() const { return text_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Follows the logic's controls: the buttons of the array, the frame, the
    // scroll bar and the description.
    void Refresh();
    QPushButton* NewButton();
    void ShowPicture(QPushButton& button, const QString& file);

    HelpForm& help_;
    QFrame* frame_;
    QList<QPushButton*> buttons_;
    QList<QString> pictures_; // the picture file each button shows
    QScrollBar* scroll_;
    QPlainTextEdit* text_;
    QByteArray shownText_;
};
