// The main window KORU2: the menu bar and the message log SystemMessagesText1,
// a view over MainForm.
#pragma once

#include "ui/FormWindow.h"
#include "update/windows/MainForm.h"

#include <QList>
#include <QMainWindow>

class QMenu;
class QPlainTextEdit;

class KORU2 : public FormWindow<QMainWindow> {
public:
    explicit KORU2(MainForm& form);
    ~KORU2() override;

    QPlainTextEdit* SystemMessagesText1() const { return log_; }
    // The widget action standing for a menu item (tests and the view itself).
    QAction* ActionOf(const MenuItem& item) const;

private:
    void AddItems(QMenu& menu, MenuItem& head);
    void Bind(MenuItem& item, QAction& action);
    void ShowLog();

    MainForm& main_;
    QPlainTextEdit* log_;
    QByteArray shownLog_;
    QList<std::pair<MenuItem*, QAction*>> actions_;
};
