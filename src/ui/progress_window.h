// The progress strip: a borderless, top-most tool window of 201 x 41 pixels
// near the top of the screen, holding FileBar (1001) over OverallBar (1002).
// Win32 only. The scan reaches it through the platform seam.
#pragma once

#include <windows.h>

#include <cstdint>

namespace escaner::ui {

inline constexpr int kFileBarId = 1001;
inline constexpr int kOverallBarId = 1002;

// 0 until ShowProgressWindow; 0 as well when the window could not be built.
extern HWND ProgressWindowHandle;
// The window that had the focus when the strip last lost activation.
extern HWND SavedFocus;

// Builds, places and shows the strip; stores it in ProgressWindowHandle.
int ShowProgressWindow(HWND owner);
// Range 0..100, position 0.
void ResetProgressBar(HWND window, int barId);
void SetBarPosition(HWND window, int barId, std::int32_t position);
void SetBarColor(HWND window, int barId, COLORREF color);
// Synchronous repaint of the window (barId 0) or of one bar.
void RepaintNow(HWND window, int barId);
// Shows the strip without activating it, then repaints it.
void ShowNoActivate(HWND window);
// WM_CLOSE then DestroyWindow; nothing when the window is gone.
void CloseProgressWindow(HWND window);

}  // namespace escaner::ui
