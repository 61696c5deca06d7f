// What a window on the screen does for its Form. The logic never sees the
// toolkit; positions and sizes cross this seam in twips.
#pragma once

#include <QRect>

class FormView {
public:
    virtual ~FormView() = default;

    // Shows the window; a modal show returns only once the window is hidden again.
    virtual void ShowForm(bool modal) = 0;
    virtual void HideForm() = 0;
    virtual void RefreshCaption() = 0;
    // Places the outer frame's top-left corner.
    virtual void MoveForm(int left, int top) = 0;
    // The outer frame (title bar and borders included).
    virtual QRect FormBounds() const = 0;
};
