#include "ui/KORUHelp1.h"

#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

KORUHelp1::KORUHelp1(HelpForm& form)
    : FormWindow<QWidget>(form), frame_(new QFrame(this)), command1_(new QPushButton(frame_)),
      scroll_(new QScrollBar(Qt::Vertical, this)), text_(new QPlainTextEdit(this)) {
    setObjectName(QStringLiteral("KORUHelp1"));
    SetClientSize(8295, 4695);
    SetColours(*this, 0x000000, 0xE0E0E0);

    frame_->setObjectName(QStringLiteral("Frame1"));
    frame_->setGeometry(TwipsToPixels(QRect(0, 0, 1935, 2550)));
    SetColours(*frame_, 0x000000, 0xE0E0E0);

    command1_->setObjectName(QStringLiteral("Command1"));
    command1_->setGeometry(TwipsToPixels(QRect(0, 0, 1920, 1200)));
    SetColours(*command1_, 0x000000, 0xC0C0C0);
    QPalette buttonPalette = command1_->palette();
    buttonPalette.setColor(QPalette::Button, QColor(0xC0C0C0));
    command1_->setPalette(buttonPalette);

    scroll_->setObjectName(QStringLiteral("VScroll1"));
    scroll_->setGeometry(TwipsToPixels(QRect(1920, 0, 255, 4695)));
    scroll_->setRange(0, 0);

    text_->setObjectName(QStringLiteral("Text1"));
    text_->setGeometry(TwipsToPixels(QRect(2160, 0, 6135, 4695)));
    text_->setFont(CourierNewFont(12));
    SetColours(*text_, 0x00FF00, 0x000000);

    setTabOrder(scroll_, command1_);
    setTabOrder(command1_, text_);
}
