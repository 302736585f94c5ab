#pragma once

#include <QString>

// The key stroke that pastes into a window: terminal emulators keep Ctrl+V
// for themselves and paste on Ctrl+Shift+V.
enum class PasteStroke { ControlV, ControlShiftV };

// By the window's class (either WM_CLASS string), case-insensitively.
bool isTerminalWindowClass(const QString &instanceName, const QString &className);
PasteStroke pasteStrokeForWindowClass(const QString &instanceName, const QString &className);
