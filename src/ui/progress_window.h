// The progress strip: a borderless, top-most tool window of 201 x 41 pixels
// near the top of the screen, holding FileBar (1001) over OverallBar (1002).
// Win32 only. The scan reaches it through the platform seam.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ui/answer_pacer.h"
#include "ui/bar_pacer.h"

namespace escaner::ui {

// The strip's client area, which is the whole window (no frame), and its top.
inline constexpr int kStripWidth = 201;
inline constexpr int kStripHeight = 41;
inline constexpr int kStripTop = 2;

// Left edge of the strip on a desktop `desktopWidth` pixels wide: centred,
// the division truncated toward zero, never clamped (150 gives -25).
constexpr int StripLeft(int desktopWidth) { return (desktopWidth - kStripWidth) / 2; }

// A bar's control identifier: the seam names each bar by it.
constexpr int ControlId(Bar bar) { return static_cast<int>(bar); }

// What paces the strip in Escaner.exe: the tick count for the checks at
// every operation (a read of shared memory; the performance counter costs
// about 40 times as much under Wine), the performance counter for timing
// paintings. On Windows the tick count moves in steps of 10 to 16 ms and a
// frame starts just after a step, so a painting shorter than a step would
// be timed at 0.
class TickCountClock final : public Clock {
 public:
  TickCountClock();
  std::uint64_t Milliseconds() const override { return GetTickCount64(); }
  std::uint64_t PreciseMilliseconds() const override;

 private:
  std::uint64_t countsPerSecond_ = 1;
};

// One strip at a time, from ShowProgressWindow to its window's destruction.
// Every operation acts on the window this object built, and does nothing
// while there is none (never built, failed to build, or destroyed).
class ProgressWindow final : private BarSink {
 public:
  // Paced by the tick count, frames at least 33 ms apart;
  // EscanerUnpaced.exe is built with a shortest frame of 0 and sends every
  // operation at once.
  ProgressWindow();
  // Paced by `clock`, with the frames ProgressWindow() has. `clock` must
  // outlive this object.
  explicit ProgressWindow(const Clock& clock);
  // Paced by `clock`, frames at least `shortestFrameMilliseconds` apart (0:
  // unpaced). `clock` must outlive this object.
  ProgressWindow(const Clock& clock, unsigned shortestFrameMilliseconds);
  // Destroys a window still open.
  ~ProgressWindow();
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  // 0 until ShowProgressWindow; 0 as well when the window could not be
  // built. Kept after the window is destroyed.
  HWND ProgressWindowHandle() const { return progressWindowHandle_; }
  // The window that had the focus when the strip last lost activation.
  HWND SavedFocus() const { return savedFocus_; }

  // Builds, places and shows the strip. Always 0.
  int ShowProgressWindow(HWND owner);
  // Range 0..100, position 0, sent at once. The strip does it to FileBar as
  // it is built.
  void ResetProgressBar(Bar bar);
  void SetBarPosition(Bar bar, std::int32_t position);
  void SetBarColor(Bar bar, std::uint32_t color);
  void RepaintNow(PaintTarget target);
  // Shows the strip without activating it, then repaints it.
  void ShowNoActivate();
  // Paints what the pacer holds back, then WM_CLOSE and DestroyWindow.
  void CloseProgressWindow();
  // At most once every kAnswerMilliseconds, whatever the frame: answers what
  // was sent to the thread and repaints what the system marked damaged, the
  // bars as they stand. Otherwise, and while there is no strip, a clock read.
  void StayResponsive() {
    if (pacer_.Running() && answers_.Due()) Answer();
  }
  // The strip's own handling of its messages: hands the keyboard focus back
  // across a loss and regain of activation. Always returns 0.
  LRESULT ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // Lets go of the current window, if any, without destroying it.
  void Detach();
  // StayResponsive's turn, when it is due.
  void Answer();
  // Delivers what other threads and programs sent to this thread; retrieves
  // nothing posted.
  void AnswerSentMessages();

  // What the pacer sends reaches the controls here.
  void SendPosition(Bar bar, std::int32_t position) override;
  void SendColor(Bar bar, std::uint32_t color) override;
  void RepaintBar(Bar bar) override;
  void RepaintWindow() override;
  void AnswerMessages() override;

  HWND progressWindowHandle_ = nullptr;
  HWND savedFocus_ = nullptr;
  // Running from the window's creation to its WM_DESTROY.
  BarPacer pacer_;
  // When the thread last answered, at a frame's end or at StayResponsive.
  AnswerPacer answers_;
};

}  // namespace escaner::ui
