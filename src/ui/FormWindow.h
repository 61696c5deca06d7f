// A top-level widget that shows one Form: it follows the Form's caption,
// visibility and position, and a user's close unloads the Form, whose closing
// rules then decide whether the program ends.
#pragma once

#include "platform/runtime/EndProgram.h"
#include "platform/runtime/Events.h"
#include "platform/runtime/Form.h"
#include "ui/Looks.h"
#include "ui/Twips.h"

#include <QCloseEvent>
#include <QDialog>
#include <type_traits>

template <typename Widget> class FormWindow : public Widget, public FormView {
public:
    explicit FormWindow(Form& form) : form_(form) {
        // Fixed frames: a title and a close button, nothing to resize or maximise.
        this->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                             Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                             Qt::MSWindowsFixedSizeDialogHint);
        form_.SetView(this);
        RefreshCaption();
    }
    ~FormWindow() override { form_.SetView(nullptr); }
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    void ShowForm(bool modal) override {
        if constexpr (std::is_base_of_v<QDialog, Widget>) {
            if (modal) {
                this->exec();
                return;
            }
        }
        if (modal)
            this->setWindowModality(Qt::ApplicationModal);
        this->show();
        if (modal)
            WaitUntil([this] { return !this->isVisible() || ProgramEnded(); });
    }
    void HideForm() override { this->hide(); }
    void RefreshCaption() override { this->setWindowTitle(ScreenText(form_.Caption())); }
    void MoveForm(int left, int top) override {
        this->move(TwipsToPixels(left), TwipsToPixels(top));
    }
    QRect FormBounds() const override { return PixelsToTwips(this->frameGeometry()); }

protected:
    // Fixes the client area, given in twips.
    void SetClientSize(int width, int height) {
        this->setFixedSize(TwipsToPixels(width), TwipsToPixels(height));
    }

    void closeEvent(QCloseEvent* event) override {
        form_.Unload();
        event->accept();
    }

    Form& form_;
};
