// The progress strip: a borderless, top-most tool window of 201 x 41 pixels
// near the top of the screen, holding FileBar (1001) over OverallBar (1002).
// Win32 only. The scan reaches it through the platform seam.
#pragma once

#include <windows.h>

#include <cstdint>

namespace escaner::ui {

inline constexpr int kFileBarId = 1001;
inline constexpr int kOverallBarId = 1002;

// The strip's client area, which is the whole window (no frame), and its top.
inline constexpr int kStripWidth = 201;
inline constexpr int kStripHeight = 41;
inline constexpr int kStripTop = 2;

// 0 until ShowProgressWindow; 0 as well when the window could not be built.
extern HWND ProgressWindowHandle;
// The window that had the focus when the strip last lost activation.
extern HWND SavedFocus;

// Left edge of the strip on a desktop `desktopWidth` pixels wide: centred,
// the division truncated toward zero, never clamped (150 gives -25).
constexpr int StripLeft(int desktopWidth) { return (desktopWidth - kStripWidth) / 2; }

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
// The strip's own handling of its messages: hands the keyboard focus back
// across a loss and regain of activation. Always returns 0.
LRESULT ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Display pacing. Every bar message is a synchronous paint, and the content
// test moves FileBar many times per file, so the strip keeps each bar's latest
// position and colour and brings the controls up to date at most once a frame,
// checking the clock only when something is waiting to be shown. The first
// show paints at once.
inline constexpr unsigned kDefaultFrameMilliseconds = 33;
// 0 sends every operation straight to the controls, one message per call.
void SetFrameInterval(unsigned milliseconds);
// Brings the bars of the strip up to date and repaints it now.
void FlushProgressWindow(HWND window);

}  // namespace escaner::ui
