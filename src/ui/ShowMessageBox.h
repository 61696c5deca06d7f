// The windowed program's message boxes: the MsgBox seam answered by a modal
// QMessageBox with the title, the text, OK or Yes/No, and the critical icon.
#pragma once

#include "platform/runtime/MsgBox.h"

MsgBoxResult ShowMessageBox(const MsgBoxRequest& request);
