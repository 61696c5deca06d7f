#include "ui/ShowMessageBox.h"

#include "ui/Looks.h"

#include <QApplication>
#include <QMessageBox>

MsgBoxResult ShowMessageBox(const MsgBoxRequest& request) {
    QMessageBox box(request.critical() ? QMessageBox::Critical : QMessageBox::NoIcon,
                    ScreenText(request.title), ScreenText(request.prompt),
                    request.asksYesNo()         ? QMessageBox::Yes | QMessageBox::No
                    : request.asksRetryCancel() ? QMessageBox::Retry | QMessageBox::Cancel
                                                : QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    const int pressed = box.exec();
    if (request.asksRetryCancel())
        return pressed == QMessageBox::Retry ? vbRetry : vbCancel;
    if (!request.asksYesNo())
        return vbOK;
    return pressed == QMessageBox::Yes ? vbYes : vbNo;
}
