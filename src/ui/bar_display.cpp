// What the bars show, and when it reaches the screen.
//
// Each bar message paints synchronously (there is no message loop during a
// scan), which costs far more than examining a small file. The strip
// therefore keeps each bar's latest position and colour here and sends them
// to the controls at most once a frame: an operation that changes nothing,
// or comes within the frame, sends no message at all. The clock is read only
// while a change is waiting, so an idle strip costs nothing.
#include "ui/bar_display.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "ui/progress_window.h"

namespace escaner::ui {
namespace {

// RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW: invalidated,
// erased and painted, children included, before RedrawWindow returns.
constexpr UINT kRepaintNow = RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW;
static_assert(kRepaintNow == 0x0185);

struct BarState {
  int id = 0;
  std::int32_t low = 0;
  std::int32_t high = 100;
  std::int32_t position = 0;
  std::optional<COLORREF> color;  // none: the platform's default colour
  std::int32_t shownPosition = 0;
  std::optional<COLORREF> shownColor;

  bool Waiting() const { return position != shownPosition || color != shownColor; }
};

BarState NewBar(int id) {
  BarState bar;
  bar.id = id;
  return bar;
}

struct KeptStrip {
  HWND window = nullptr;  // null when no strip is alive
  std::array<BarState, 2> bars = {NewBar(kFileBarId), NewBar(kOverallBarId)};
  ULONGLONG lastFrame = 0;
  bool windowRepaintAsked = false;
};

KeptStrip strip;
unsigned frameMilliseconds = kDefaultFrameMilliseconds;

bool Paced() { return frameMilliseconds != 0; }

// The kept state of a bar of the live strip; null for any other window.
// Comparing with the kept handle replaces IsWindow: the strip forgets its
// handle as it is destroyed.
BarState* KeptBar(HWND window, int barId) {
  if (window == nullptr || window != strip.window) return nullptr;
  for (BarState& bar : strip.bars) {
    if (bar.id == barId) return &bar;
  }
  return nullptr;
}

bool AnyWaiting() {
  return std::any_of(strip.bars.begin(), strip.bars.end(), [](const BarState& bar) { return bar.Waiting(); });
}

// Sends each bar what it does not show yet, then repaints the changed bars,
// or the whole strip when asked to.
void PaintFrame(bool wholeWindow) {
  wholeWindow = wholeWindow || strip.windowRepaintAsked;
  for (BarState& bar : strip.bars) {
    if (!bar.Waiting()) continue;
    HWND control = GetDlgItem(strip.window, bar.id);
    if (bar.position != bar.shownPosition) {
      SendMessageW(control, PBM_SETPOS, static_cast<WPARAM>(bar.position), 0);
      bar.shownPosition = bar.position;
    }
    if (bar.color != bar.shownColor) {
      SendMessageW(control, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(*bar.color));
      bar.shownColor = bar.color;
    }
    if (!wholeWindow) RedrawWindow(control, nullptr, nullptr, kRepaintNow);
  }
  if (wholeWindow) RedrawWindow(strip.window, nullptr, nullptr, kRepaintNow);
  strip.lastFrame = GetTickCount64();
  strip.windowRepaintAsked = false;
}

void PaintIfFrameOver() {
  if (!AnyWaiting()) return;
  if (GetTickCount64() - strip.lastFrame < frameMilliseconds) return;
  PaintFrame(false);
}

}  // namespace

void KeepStrip(HWND window) {
  strip = KeptStrip{};
  strip.window = window;
}

void ForgetStrip(HWND window) {
  if (strip.window == window) strip.window = nullptr;
}

void SetFrameInterval(unsigned milliseconds) { frameMilliseconds = milliseconds; }

void ResetProgressBar(HWND window, int barId) {
  if (!IsWindow(window)) return;
  HWND control = GetDlgItem(window, barId);
  SendMessageW(control, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  SendMessageW(control, PBM_SETPOS, 0, 0);
  if (BarState* bar = KeptBar(window, barId)) {
    bar->low = 0;
    bar->high = 100;
    bar->position = bar->shownPosition = 0;
  }
}

void SetBarPosition(HWND window, int barId, std::int32_t position) {
  BarState* bar = KeptBar(window, barId);
  if (bar != nullptr) {
    // The control holds positions within its range; so does its kept state,
    // so that 150 after 120 is no change.
    bar->position = std::clamp(position, bar->low, bar->high);
    if (Paced()) {
      PaintIfFrameOver();
      return;
    }
    bar->shownPosition = bar->position;
  } else if (!IsWindow(window)) {
    return;
  }
  SendMessageW(GetDlgItem(window, barId), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void SetBarColor(HWND window, int barId, COLORREF color) {
  BarState* bar = KeptBar(window, barId);
  if (bar != nullptr) {
    bar->color = color;
    if (Paced()) {
      PaintIfFrameOver();
      return;
    }
    bar->shownColor = color;
  } else if (!IsWindow(window)) {
    return;
  }
  SendMessageW(GetDlgItem(window, barId), PBM_SETBARCOLOR, 0, static_cast<LPARAM>(color));
}

void RepaintNow(HWND window, int barId) {
  if (window != nullptr && window == strip.window && Paced()) {
    if (barId == 0) strip.windowRepaintAsked = true;
    PaintIfFrameOver();
    return;
  }
  if (!IsWindow(window)) return;
  HWND target = barId == 0 ? window : GetDlgItem(window, barId);
  RedrawWindow(target, nullptr, nullptr, kRepaintNow);
}

void ShowNoActivate(HWND window) {
  if (window != nullptr && window == strip.window && Paced()) {
    // Only the first show costs messages; on the shown strip this is a
    // repaint request like any other.
    if (IsWindowVisible(window)) {
      strip.windowRepaintAsked = true;
      PaintIfFrameOver();
    } else {
      ShowWindow(window, SW_SHOWNA);
      PaintFrame(true);
    }
    return;
  }
  if (!IsWindow(window)) return;
  ShowWindow(window, SW_SHOWNA);
  RepaintNow(window, 0);
}

void FlushProgressWindow(HWND window) {
  if (window != nullptr && window == strip.window) {
    PaintFrame(true);
  } else if (IsWindow(window)) {
    RedrawWindow(window, nullptr, nullptr, kRepaintNow);
  }
}

}  // namespace escaner::ui
