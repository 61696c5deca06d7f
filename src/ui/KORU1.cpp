#include "ui/KORU1.h"

#include <QLabel>
#include <QPushButton>

KORU1::KORU1(QuickForm& form)
    : FormWindow<QDialog>(form), quick_(form), label_(new QLabel(this)),
      button_(new QPushButton(this)) {
    setObjectName(QStringLiteral("KORU1"));
    SetClientSize(6495, 4110);
    SetColours(*this, 0x000000, 0xC0C0C0);
    QFont font;
    font.setFamilies({QStringLiteral("Courier"), QStringLiteral("Courier New"),
                      QStringLiteral("Liberation Mono")});
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSizeF(12);
    setFont(font);

    label_->setObjectName(QStringLiteral("Label1"));
    label_->setGeometry(TwipsToPixels(QRect(0, 0, 6495, 3735)));
    label_->setFont(CourierNewFont(9.75));
    SetColours(*label_, 0x00FF00, 0x000000);
    label_->setTextFormat(Qt::PlainText);
    label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label_->setWordWrap(true);

    button_->setObjectName(QStringLiteral("DownloadUpdateCommand1"));
    button_->setGeometry(TwipsToPixels(QRect(0, 3720, 6495, 375)));
    button_->setAutoDefault(false);
    QObject::connect(button_, &QPushButton::clicked,
                     [this] { quick_.DownloadUpdateCommand1.Click(); });

    quick_.Label1.refreshView = [this] { label_->setText(ScreenText(quick_.Label1.Caption())); };
    quick_.DownloadUpdateCommand1.refreshView = [this] {
        button_->setText(CaptionText(quick_.DownloadUpdateCommand1.Caption()));
        button_->setEnabled(quick_.DownloadUpdateCommand1.Enabled());
    };
    quick_.Label1.refreshView();
    quick_.DownloadUpdateCommand1.refreshView();
    setTabOrder(label_, button_);
}

KORU1::~KORU1() {
    quick_.Label1.refreshView = nullptr;
    quick_.DownloadUpdateCommand1.refreshView = nullptr;
}
