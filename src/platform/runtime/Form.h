// A window as the logic sees it: load and unload with their events, show
// (modal or not), hide, caption and position. Without a view it runs headless,
// keeping the same state, so the logic and the console front end need no screen.
#pragma once

#include "platform/runtime/FormView.h"

#include <QByteArray>

enum FormShowMode : int {
    vbModeless = 0,
    vbModal = 1,
};

class Form {
public:
    explicit Form(QByteArray caption);
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;
    virtual ~Form() = default;

    // Creates the window's controls in their initial state and runs Form_Load;
    // nothing happens when the window is already loaded.
    void Load();
    // Runs Form_Unload, then hides the window and drops its controls' state.
    void Unload();
    bool Loaded() const { return loaded_; }

    // Loads the window if needed, then shows it. A modal show returns when the
    // window has been hidden or unloaded.
    void Show(FormShowMode mode = vbModeless);
    void Hide();
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);

    const QByteArray& Caption() const { return caption_; }
    void SetCaption(const QByteArray& caption);

    // Outer frame position and height in twips.
    int Left() const;
    int Top() const;
    int Height() const;
    void Move(int left, int top);

    void SetView(FormView* view) { view_ = view; }
    FormView* View() const { return view_; }

protected:
    // Puts the controls in their state at load (every load starts afresh).
    virtual void InitializeControls() {}
    // Stops what must not outlive the window, such as timers.
    virtual void ReleaseControls() {}
    virtual void Form_Load() {}
    virtual void Form_Unload() {}

private:
    QByteArray initialCaption_;
    QByteArray caption_;
    bool loaded_ = false;
    bool visible_ = false;
    int left_ = 0;
    int top_ = 0;
    FormView* view_ = nullptr;
};
