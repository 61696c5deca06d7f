#include "ui/KORUHelp1.h"

#include <QFrame>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

namespace {
// Scroll steps in twips: a fifth of a link per arrow, one link per page.
constexpr int arrowStep = 254;
constexpr int pageStep = 1270;
} // namespace

KORUHelp1::KORUHelp1(HelpForm& form)
    : FormWindow<QWidget>(form), help_(form), frame_(new QFrame(this)),
      scroll_(new QScrollBar(Qt::Vertical, this)), text_(new QPlainTextEdit(this)) {
    setObjectName(QStringLiteral("KORUHelp1"));
    SetClientSize(8295, 4695);
    SetColours(*this, 0x000000, 0xE0E0E0);

    frame_->setObjectName(QStringLiteral("Frame1"));
    frame_->setGeometry(TwipsToPixels(QRect(0, 0, 1935, 2550)));
    SetColours(*frame_, 0x000000, 0xE0E0E0);

    buttons_.append(NewButton());
    pictures_.append(QString());

    scroll_->setObjectName(QStringLiteral("VScroll1"));
    scroll_->setGeometry(TwipsToPixels(QRect(1920, 0, 255, 4695)));
    scroll_->setRange(0, 0);
    scroll_->setSingleStep(arrowStep);
    scroll_->setPageStep(pageStep);
    // Dragging the thumb and every other change move the column alike.
    QObject::connect(scroll_, &QScrollBar::valueChanged,
                     [this](int value) { help_.SetVScroll1Value(value); });

    text_->setObjectName(QStringLiteral("Text1"));
    text_->setGeometry(TwipsToPixels(QRect(2160, 0, 6135, 4695)));
    text_->setFont(CourierNewFont(12));
    SetColours(*text_, 0x00FF00, 0x000000);

    setTabOrder(scroll_, buttons_.first());
    setTabOrder(buttons_.first(), text_);

    help_.refreshView = [this] { Refresh(); };
}

KORUHelp1::~KORUHelp1() {
    help_.refreshView = nullptr;
}

QPushButton* KORUHelp1::NewButton() {
    // A new element takes the properties of element 0, as the array's Load does.
    auto* button = new QPushButton(frame_);
    button->setObjectName(QStringLiteral("Command1"));
    button->setGeometry(TwipsToPixels(QRect(0, 0, HelpForm::buttonWidth, 1200)));
    SetColours(*button, 0x000000, 0xC0C0C0);
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, QColor(0xC0C0C0));
    button->setPalette(palette);
    button->setMouseTracking(true);
    button->installEventFilter(this);
    QObject::connect(button, &QPushButton::clicked, [this, button] {
        help_.Command1_Click(static_cast<int>(buttons_.indexOf(button)));
    });
    return button;
}

bool KORUHelp1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        const auto index = static_cast<int>(buttons_.indexOf(qobject_cast<QPushButton*>(watched)));
        if (index >= 0) {
            const auto* move = static_cast<QMouseEvent*>(event);
            const QPoint at = move->position().toPoint();
            help_.Command1_MouseMove(index, static_cast<int>(move->buttons()),
                                     (move->modifiers().toInt() >> 25) & 7,
                                     float(PixelsToTwips(at.x())), float(PixelsToTwips(at.y())));
        }
    }
    return FormWindow<QWidget>::eventFilter(watched, event);
}

void KORUHelp1::Refresh() {
    const auto count = static_cast<qsizetype>(help_.Command1.size());
    while (buttons_.size() < count) {
        QPushButton* button = NewButton();
        setTabOrder(buttons_.last(), button);
        buttons_.append(button);
        pictures_.append(QString());
    }
    while (buttons_.size() > count) {
        delete buttons_.takeLast();
        pictures_.removeLast();
    }
    for (qsizetype i = 0; i < count; ++i) {
        const LinkButton& link = help_.Command1.at(static_cast<std::size_t>(i));
        QPushButton& button = *buttons_.at(i);
        button.setGeometry(TwipsToPixels(QRect(0, link.Top, HelpForm::buttonWidth, link.Height)));
        button.setEnabled(link.Enabled);
        button.setToolTip(ScreenText(link.ToolTipText));
        if (pictures_.at(i) != link.Picture) {
            pictures_[i] = link.Picture;
            ShowPicture(button, link.Picture);
        }
        button.setVisible(link.Visible);
    }

    frame_->setGeometry(TwipsToPixels(QRect(0, help_.Frame1.Top, 1935, help_.Frame1.Height)));
    scroll_->setMaximum(help_.VScroll1.Max);
    if (scroll_->value() != help_.VScroll1.Value)
        scroll_->setValue(help_.VScroll1.Value);
    if (help_.Text1 != shownText_) {
        shownText_ = help_.Text1;
        text_->setPlainText(ScreenText(shownText_));
    }
}

void KORUHelp1::ShowPicture(QPushButton& button, const QString& file) {
    // A file that is not a picture leaves the button without one; its link still works.
    const QPixmap picture(file);
    button.setIcon(picture.isNull() ? QIcon() : QIcon(picture));
    button.setIconSize(picture.size().boundedTo(button.size()));
}
