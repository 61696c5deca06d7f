// Hidden message windows: the receiver the socket service posts its
// notifications to. A window has a procedure that can be replaced and
// restored; posted messages are delivered one at a time, in posting order,
// from the event loop of the UI thread. Messages for a destroyed window are dropped.
#pragma once

#include <cstdint>
#include <functional>

namespace win {

using HWND = std::int32_t; // 0 = no window
using UINT = std::uint32_t;
using WPARAM = std::int32_t;
using LPARAM = std::int32_t;
using LRESULT = std::intptr_t;
using WNDPROC = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

// Creates a hidden window whose procedure does nothing and answers 0.
// Returns 0 when no window can be made.
HWND CreateMessageWindow();
bool DestroyWindow(HWND hWnd);
bool IsWindow(HWND hWnd);

// The window's procedure (GetWindowLong with GWL_WNDPROC).
WNDPROC GetWindowProc(HWND hWnd);
// Replaces the procedure and returns the previous one (SetWindowLong with
// GWL_WNDPROC); an empty result means the window does not exist.
WNDPROC SetWindowProc(HWND hWnd, WNDPROC proc);
LRESULT CallWindowProc(const WNDPROC& proc, HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Queues a message for the window; false when the window does not exist.
bool PostMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Calls the window's procedure at once.
LRESULT SendMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Messages posted and not yet delivered (tests).
int PendingMessageCount();

} // namespace win
