// The quick update window KORU1: the status label above one download button,
// a view over QuickForm.
#pragma once

#include "ui/FormWindow.h"
#include "update/windows/QuickForm.h"

#include <QDialog>

class QLabel;
class QPushButton;

class KORU1 : public FormWindow<QDialog> {
public:
    explicit KORU1(QuickForm& form);
    ~KORU1() override;

    QLabel* Label1() const { return label_; }
    QPushButton* DownloadUpdateCommand1() const { return button_; }

    // Escape does not close the window; only a close does, which ends the program.
    void reject() override {}

private:
    QuickForm& quick_;
    QLabel* label_;
    QPushButton* button_;
};
