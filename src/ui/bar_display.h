// Between building the strip and what its bars show: the strip whose bar
// state is kept (one at a time), from its creation to its destruction.
#pragma once

#include <windows.h>

namespace escaner::ui {

// Starts keeping the bars of a freshly built strip: range 0..100,
// position 0, the platform's default colour.
void KeepStrip(HWND window);
// The strip is being destroyed: later operations on it do nothing.
void ForgetStrip(HWND window);

}  // namespace escaner::ui
