// Modal message boxes behind a seam: the windowed program shows a dialog,
// the console front end and the tests answer through their own handler.
#pragma once

#include <QByteArray>
#include <functional>

enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbYesNo = 4,
    vbRetryCancel = 5,
    vbCritical = 16,
};

enum MsgBoxResult : int {
    vbOK = 1,
    vbCancel = 2,
    vbRetry = 4,
    vbYes = 6,
    vbNo = 7,
};

struct MsgBoxRequest {
    QByteArray prompt;
    int buttons = vbOKOnly; // vbOKOnly, vbYesNo or vbRetryCancel, optionally plus vbCritical
    QByteArray title;       // never empty: the program's title stands in

    // The buttons sit in the low three bits, the icon above them.
    bool asksYesNo() const { return (buttons & 7) == vbYesNo; }
    bool asksRetryCancel() const { return (buttons & 7) == vbRetryCancel; }
    bool critical() const { return (buttons & vbCritical) != 0; }
};

using MsgBoxHandler = std::function<MsgBoxResult(const MsgBoxRequest&)>;

// Shows a modal message box and returns the button pressed.
MsgBoxResult MsgBox(const QByteArray& prompt, int buttons = vbOKOnly, const QByteArray& title = {});

// Installs the handler that answers message boxes and returns the previous one.
// Without a handler, OK boxes answer vbOK, Yes/No questions vbNo and
// Retry/Cancel questions vbCancel.
MsgBoxHandler SetMsgBoxHandler(MsgBoxHandler handler);

// The program's title, used when a message box has none.
inline constexpr char AppTitle[] = "KORU";
