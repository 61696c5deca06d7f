// Modal message boxes behind a seam: the windowed program shows a dialog,
// the console front end and the tests answer through their own handler.
#pragma once

#include <QByteArray>
#include <functional>

enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbYesNo = 4,
    vbCritical = 16,
};

enum MsgBoxResult : int {
    vbOK = 1,
    vbYes = 6,
    vbNo = 7,
};

struct MsgBoxRequest {
    QByteArray prompt;
    int buttons = vbOKOnly; // vbOKOnly or vbYesNo, optionally plus vbCritical
    QByteArray title;       // never empty: the program's title stands in

    bool asksYesNo() const { return (buttons & vbYesNo) == vbYesNo; }
    bool critical() const { return (buttons & vbCritical) != 0; }
};

using MsgBoxHandler = std::function<MsgBoxResult(const MsgBoxRequest&)>;

// Shows a modal message box and returns the button pressed.
MsgBoxResult MsgBox(const QByteArray& prompt, int buttons = vbOKOnly, const QByteArray& title = {});

// Installs the handler that answers message boxes and returns the previous one.
// Without a handler, OK boxes answer vbOK and Yes/No questions answer vbNo.
MsgBoxHandler SetMsgBoxHandler(MsgBoxHandler handler);

// The program's title, used when a message box has none.
inline constexpr char AppTitle[] = "KORU";
