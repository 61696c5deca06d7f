// A control as the logic sees it: a caption (byte text), an Enabled state and a
// click event. Labels, push buttons and menu items are all this; the window
// showing the control follows it through refreshView.
#pragma once

#include <QByteArray>
#include <functional>

class Control {
public:
    explicit Control(QByteArray caption = {}, bool enabled = true);
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control() = default;

    const QByteArray& Caption() const { return caption_; }
    void SetCaption(const QByteArray& caption);

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    // A user's click: runs onClick and answers true, or answers false while
    // the control is disabled, since a disabled control cannot be clicked.
    bool Click();

    // The click event.
    std::function<void()> onClick;
    // Called after every change of Caption or Enabled, for the view.
    std::function<void()> refreshView;

protected:
    void Changed();

private:
    QByteArray caption_;
    bool enabled_;
};

using Label = Control;
using CommandButton = Control;
