#include "platform/runtime/Form.h"

#include "platform/runtime/EndProgram.h"
#include "platform/runtime/Events.h"

Form::Form(QByteArray caption) : initialCaption_(caption), caption_(std::move(caption)) {}

void Form::Load() {
    if (loaded_)
        return;
    loaded_ = true;
    SetCaption(initialCaption_);
    InitializeControls();
    Form_Load();
}

void Form::Unload() {
    if (!loaded_)
        return;
    Form_Unload();
    loaded_ = false;
    ReleaseControls();
    Hide();
}

void Form::Show(FormShowMode mode) {
    Load();
    // Form_Load may have unloaded the window or ended the program.
    if (!loaded_ || ProgramEnded())
        return;
    visible_ = true;
    if (view_ != nullptr)
        view_->ShowForm(mode == vbModal);
    else if (mode == vbModal)
        WaitUntil([this] { return !visible_ || ProgramEnded(); });
}

void Form::Hide() {
    visible_ = false;
    if (view_ != nullptr)
        view_->HideForm();
}

void Form::SetVisible(bool visible) {
    if (visible)
        Show();
    else
        Hide();
}

void Form::SetCaption(const QByteArray& caption) {
    caption_ = caption;
    if (view_ != nullptr)
        view_->RefreshCaption();
}

int Form::Left() const {
    return view_ != nullptr ? view_->FormBounds().left() : left_;
}

int Form::Top() const {
    return view_ != nullptr ? view_->FormBounds().top() : top_;
}

int Form::Height() const {
    return view_ != nullptr ? view_->FormBounds().height() : 0;
}

void Form::Move(int left, int top) {
    left_ = left;
    top_ = top;
    if (view_ != nullptr)
        view_->MoveForm(left, top);
}
