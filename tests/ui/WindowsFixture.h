// The windowed program's windows for each test, offscreen, in a VANTO folder
// of its own, with the shared state at its start values and a recorded end of the program that
// closes the windows as the real one does (without leaving the test's event loop).
#pragma once

#include "platform/runtime/App.h"
#include "platform/runtime/EndProgram.h"
#include "support/TestVantoHome.h"
#include "ui/KoruApplication.h"
#include "ui/Twips.h"
#include "update/windows/UpdateState.h"

#include <QApplication>
#include <gtest/gtest.h>
#include <memory>

class WindowsFixture : public ::testing::Test {
protected:
    WindowsFixture() {
        SharedState().Reset();
        SetCommand({});
        ResetProgramEnded();
        koru = std::make_unique<KoruApplication>();
        SetEndProgramHandler([this] {
            ++ends;
            for (QWidget* window : QApplication::topLevelWidgets())
                window->hide();
        });
    }
    ~WindowsFixture() override {
        koru.reset();
        ResetProgramEnded();
        SharedState().Reset();
    }

    QSize ClientSize(int width, int height) const {
        return {TwipsToPixels(width), TwipsToPixels(height)};
    }

    TestVantoHome home;
    std::unique_ptr<KoruApplication> koru;
    int ends = 0;
};
