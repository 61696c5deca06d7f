#include "ui/KORU2.h"

#include <QGuiApplication>
#include <QLayout>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>

KORU2::KORU2(MainForm& form)
    : FormWindow<QMainWindow>(form), main_(form), log_(new QPlainTextEdit(this)) {
    setObjectName(QStringLiteral("KORU2"));

    log_->setObjectName(QStringLiteral("SystemMessagesText1"));
    log_->setReadOnly(true);
    log_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    log_->setFrameShape(QFrame::NoFrame);
    log_->setFont(CourierNewFont(11.25));
    SetColours(*log_, 0x00FF00, 0x000000);
    log_->setFixedSize(TwipsToPixels(8775), TwipsToPixels(4695));
    setCentralWidget(log_);

    for (MenuItem* head : main_.MenuBar()) {
        QMenu* menu = menuBar()->addMenu(CaptionText(head->Caption()));
        Bind(*head, *menu->menuAction());
        AddItems(*menu, *head);
    }
    // The client area is fixed; the menu bar sits above it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    main_.SystemMessagesText1.refreshView = [this] { ShowLog(); };
    ShowLog();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        adjustSize();
        move(screen->availableGeometry().center() - rect().center());
    }
}

KORU2::~KORU2() {
    main_.SystemMessagesText1.refreshView = nullptr;
    for (const auto& [item, action] : actions_)
        item->refreshView = nullptr;
}

QAction* KORU2::ActionOf(const MenuItem& item) const {
    for (const auto& [bound, action] : actions_)
        if (bound == &item)
            return action;
    return nullptr;
}

void KORU2::AddItems(QMenu& menu, MenuItem& head) {
    // A head's click event is its submenu opening.
    QObject::connect(&menu, &QMenu::aboutToShow, [&head] { head.Click(); });
    for (MenuItem* item : head.Items()) {
        if (item->IsSeparator()) {
            Bind(*item, *menu.addSeparator()); // some are shown only with their items
        } else if (!item->Items().isEmpty()) {
            QMenu* submenu = menu.addMenu(CaptionText(item->Caption()));
            Bind(*item, *submenu->menuAction());
            AddItems(*submenu, *item);
        } else {
            QAction* action = menu.addAction(CaptionText(item->Caption()));
            Bind(*item, *action);
            QObject::connect(action, &QAction::triggered, [item] { item->Click(); });
        }
    }
}

void KORU2::Bind(MenuItem& item, QAction& action) {
    action.setObjectName(QString::fromLatin1(item.Name()));
    action.setEnabled(item.Enabled());
    action.setVisible(item.Visible());
    item.refreshView = [&item, &action] {
        action.setText(CaptionText(item.Caption()));
        action.setEnabled(item.Enabled());
        action.setVisible(item.Visible());
    };
    actions_.append({&item, &action});
}

// The log shows the decoded text and follows the caret the logic sets, so the
// Change handler's move to the end scrolls the newest line into view.
void KORU2::ShowLog() {
    const MessageLog& log = main_.SystemMessagesText1;
    if (log.Text() != shownLog_) {
        shownLog_ = log.Text();
        log_->setPlainText(ScreenText(shownLog_));
    }
    QTextCursor cursor = log_->textCursor();
    const bool atEnd = log.SelStart() >= log.Text().size();
    if (atEnd)
        cursor.movePosition(QTextCursor::End);
    else
        cursor.setPosition(static_cast<int>(ScreenText(log.Text().left(log.SelStart())).size()));
    log_->setTextCursor(cursor);
    log_->ensureCursorVisible();
    if (atEnd) // the last line's layout may still be pending; the end is the end
        log_->verticalScrollBar()->setValue(log_->verticalScrollBar()->maximum());
}
