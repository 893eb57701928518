// What a top-level window of Escaner.exe (or of what it started) is, told
// from its class and children alone, so that telling sends it nothing.
#pragma once

#include <windows.h>

namespace escaner_test {

enum class WindowKind { FolderDialog, Strip, MessageBox, Notepad, Other };

WindowKind Classify(HWND window);
// The kind's name in the drivers' JSON events.
const char* KindName(WindowKind kind);

}  // namespace escaner_test
