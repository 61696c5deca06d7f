// A fresh set of windows' logic for each test in a VANTO folder of its own,
// with the program-wide state back at its start values, recording views and a
// recorded end of the program.
#pragma once

#include "platform/runtime/App.h"
#include "platform/runtime/EndProgram.h"
#include "support/TestVantoHome.h"
#include "update/windows/Forms.h"
#include "update/windows/UpdateState.h"

#include <QByteArrayList>
#include <gtest/gtest.h>

// Records what a window on the screen would be asked to do.
class RecordingView : public FormView {
public:
    RecordingView(QByteArray name, QByteArrayList& events)
        : name_(std::move(name)), events_(events) {}

    // What the user does while a modal show waits.
    std::function<void()> whileModal;

    void ShowForm(bool modal) override {
        events_.append(name_ + (modal ? " modal" : " show"));
        if (modal && whileModal)
            whileModal();
    }
    void HideForm() override { events_.append(name_ + " hide"); }
    void RefreshCaption() override {}
    void MoveForm(int left, int top) override { bounds_.moveTo(left, top); }
    QRect FormBounds() const override { return bounds_; }

private:
    QByteArray name_;
    QByteArrayList& events_;
    QRect bounds_{0, 0, 8895, 5535};
};

class FormsFixture : public ::testing::Test {
protected:
    FormsFixture() {
        SharedState().Reset();
        SetCommand({});
        ResetProgramEnded();
        previousEnd_ = SetEndProgramHandler([this] { events.append("end"); });
        forms.KORU2.SetView(&mainView);
        forms.KORU1.SetView(&quickView);
        forms.KORUHelp1.SetView(&helpView);
        quickView.whileModal = [this] { forms.KORU1.Unload(); }; // the user closes it
    }
    ~FormsFixture() override {
        SetEndProgramHandler(std::move(previousEnd_));
        ResetProgramEnded();
        SharedState().Reset();
    }

    // What the user sees after the program starts with `commandLine`.
    void Start(const QStringList& commandLine = {}) {
        SetCommand(commandLine);
        forms.KORU2.Show();
    }
    const QByteArray& Log() const { return forms.KORU2.SystemMessagesText1.Text(); }

    TestVantoHome home;
    QByteArrayList events;
    Forms forms;
    RecordingView mainView{"KORU2", events};
    RecordingView quickView{"KORU1", events};
    RecordingView helpView{"KORUHelp1", events};

private:
    EndProgramHandler previousEnd_;
};

inline const QByteArray separator = QByteArray(38, '-') + "\r\n";
