// Building the strip, its message handling, what its frames send to the
// controls, and closing it.
#include "ui/progress_window.h"

#include <commctrl.h>

#include "ui/progress_template.h"

namespace escaner::ui {
namespace {

// EscanerUnpaced.exe, the benchmark's build without pacing, is compiled with
// ESCANER_FRAME_MILLISECONDS=0.
#ifdef ESCANER_FRAME_MILLISECONDS
constexpr unsigned kFrameMilliseconds = ESCANER_FRAME_MILLISECONDS;
#else
constexpr unsigned kFrameMilliseconds = kShortestFrameMilliseconds;
#endif

const TickCountClock kTickCount;

constexpr DWORD kBarStyle = WS_CHILD | WS_VISIBLE | PBS_SMOOTH;
static_assert(kBarStyle == 0x50000001);

// Placed in pixels without moving it in the z-order, activating or painting it.
constexpr UINT kPlacementFlags = SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE | SWP_NOCOPYBITS |
                                 SWP_NOOWNERZORDER | SWP_NOSENDCHANGING;
static_assert(kPlacementFlags == 0x071C);

// RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW: invalidated,
// erased and painted, children included, before RedrawWindow returns.
constexpr UINT kRepaintNow = RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW;
static_assert(kRepaintNow == 0x0185);

// Only what is already invalid is erased and painted, children included.
constexpr UINT kRepaintWhatIsInvalid = RDW_ALLCHILDREN | RDW_UPDATENOW;
static_assert(kRepaintWhatIsInvalid == 0x0180);

struct BarLayout {
  Bar bar;
  const wchar_t* text;
  int x, y, width, height;
};
constexpr BarLayout kBars[] = {
    {Bar::File, L"ProgressBar1", 0, 0, 200, 20},
    {Bar::Overall, L"ProgressBar2", 0, 21, 200, 20},
};

void CloseStrip(HWND window) {
  SendMessageW(window, WM_CLOSE, 0, 0);
  DestroyWindow(window);
}

}  // namespace

TickCountClock::TickCountClock() {
  LARGE_INTEGER frequency{};
  // Never fails from Windows XP on; a counter of 0 a second would divide by 0.
  if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0)
    countsPerSecond_ = static_cast<std::uint64_t>(frequency.QuadPart);
}

std::uint64_t TickCountClock::PreciseMilliseconds() const {
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  const auto counts = static_cast<std::uint64_t>(counter.QuadPart);
  // Whole seconds and the rest apart: counts * 1000 would overflow after
  // days of uptime at a 10 MHz counter.
  return counts / countsPerSecond_ * 1000 + counts % countsPerSecond_ * 1000 / countsPerSecond_;
}

ProgressWindow::ProgressWindow() : ProgressWindow(kTickCount) {}

ProgressWindow::ProgressWindow(const Clock& clock) : ProgressWindow(clock, kFrameMilliseconds) {}

ProgressWindow::ProgressWindow(const Clock& clock, unsigned shortestFrameMilliseconds)
    : pacer_(*this, clock, shortestFrameMilliseconds), answers_(clock, kAnswerMilliseconds) {}

ProgressWindow::~ProgressWindow() {
  if (!pacer_.Running()) return;
  HWND window = progressWindowHandle_;
  Detach();
  DestroyWindow(window);
}

void ProgressWindow::Detach() {
  if (!pacer_.Running()) return;
  SetWindowLongPtrW(progressWindowHandle_, DWLP_USER, 0);
  pacer_.Stop();
}

// The strip's object is found through the window from the moment it is
// about to be shown; until then every message gets the default handling.
INT_PTR CALLBACK ProgressWindow::DialogProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
  auto* strip = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrW(window, DWLP_USER));
  if (strip != nullptr) strip->ProgressWindowProc(window, message, wParam, lParam);
  switch (message) {
    case WM_SYSCOMMAND:
      // Alt+F4 and the like. Esc (IDCANCEL) and WM_CLOSE alone leave the
      // strip open: they fall to the default dialog handling, which closes
      // nothing on a modeless dialog.
      if ((wParam & 0xFFF0) == SC_CLOSE) {
        CloseStrip(window);
        return TRUE;
      }
      return FALSE;
    case WM_DESTROY:
      if (strip != nullptr) strip->pacer_.Stop();
      return FALSE;
    default:
      // WM_INITDIALOG included: FALSE gives no control the focus.
      return FALSE;
  }
}

LRESULT ProgressWindow::ProgressWindowProc(HWND /*window*/, UINT message, WPARAM wParam,
                                           LPARAM /*lParam*/) {
  if (message == WM_NCACTIVATE) {
    if (wParam == 0) {
      savedFocus_ = GetFocus();
    } else if (savedFocus_ != nullptr) {
      SetFocus(savedFocus_);
      savedFocus_ = nullptr;
    }
  }
  return 0;
}

int ProgressWindow::ShowProgressWindow(HWND owner) {
  Detach();  // the session builds one strip; a strip built before is left to itself
  RECT desktop{};
  GetWindowRect(GetDesktopWindow(), &desktop);
  const int x = StripLeft(desktop.right);
  const int y = kStripTop;

  HINSTANCE instance = GetModuleHandleW(nullptr);
  const ProgressTemplate dialogTemplate(x);
  HWND window = CreateDialogIndirectParamW(instance, dialogTemplate.Get(), owner, DialogProc, 0);
  progressWindowHandle_ = window;
  if (window == nullptr) return 0;

  // The size asked for is the client area; a frame, if any, is added to it.
  RECT outer{}, client{};
  GetWindowRect(window, &outer);
  GetClientRect(window, &client);
  POINT origin{0, 0};
  if (owner != nullptr) ClientToScreen(owner, &origin);
  SetWindowPos(window, nullptr, x + origin.x, y + origin.y,
               kStripWidth + (outer.right - outer.left) - (client.right - client.left),
               kStripHeight + (outer.bottom - outer.top) - (client.bottom - client.top),
               kPlacementFlags);
  SetWindowTextW(window, L"Dialog1");
  const LPARAM font = SendMessageW(window, WM_GETFONT, 0, 0);

  for (const BarLayout& layout : kBars) {
    // Pixels, not dialog units.
    HWND bar = CreateWindowExW(0, PROGRESS_CLASSW, layout.text, kBarStyle, layout.x, layout.y,
                               layout.width, layout.height, window,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(layout.bar))),
                               instance, nullptr);
    SendMessageW(bar, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
    SendMessageW(bar, CCM_SETUNICODEFORMAT, 1, 0);
  }
  savedFocus_ = nullptr;
  pacer_.Start();
  answers_.Reset();
  // A new bar already has OverallBar's range and position.
  ResetProgressBar(Bar::File);

  SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(this));
  ShowWindow(window, SW_SHOW);  // activates it as well
  pacer_.PaintFrameNow();       // the first show paints at once
  return 0;
}

void ProgressWindow::ResetProgressBar(Bar bar) {
  if (!pacer_.Running()) return;
  HWND control = GetDlgItem(progressWindowHandle_, ControlId(bar));
  if (control == nullptr) return;
  SendMessageW(control, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  SendMessageW(control, PBM_SETPOS, 0, 0);
  pacer_.BarWasReset(bar);
}

void ProgressWindow::SetBarPosition(Bar bar, std::int32_t position) {
  pacer_.SetBarPosition(bar, position);
}

void ProgressWindow::SetBarColor(Bar bar, std::uint32_t color) { pacer_.SetBarColor(bar, color); }

void ProgressWindow::RepaintNow(PaintTarget target) { pacer_.RepaintNow(target); }

void ProgressWindow::ShowNoActivate() {
  if (!pacer_.Running()) return;
  // Paced, only the first show costs messages; on the shown strip this is a
  // repaint request like any other.
  if (pacer_.Paced() && IsWindowVisible(progressWindowHandle_)) {
    pacer_.RepaintNow(PaintTarget::Window);
    return;
  }
  ShowWindow(progressWindowHandle_, SW_SHOWNA);
  pacer_.PaintFrameNow();
}

void ProgressWindow::CloseProgressWindow() {
  // The last state is on the screen as the strip goes, as when every change
  // was painted at once. Answering at the end of that painting may have
  // closed the strip already.
  pacer_.PaintWaitingNow();
  if (pacer_.Running()) CloseStrip(progressWindowHandle_);
}

// A bar that cannot be found is skipped: GetDlgItem gives null for it, and
// RedrawWindow of null would repaint the whole desktop.
void ProgressWindow::SendPosition(Bar bar, std::int32_t position) {
  if (HWND control = GetDlgItem(progressWindowHandle_, ControlId(bar))) {
    SendMessageW(control, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  }
}

void ProgressWindow::SendColor(Bar bar, std::uint32_t color) {
  if (HWND control = GetDlgItem(progressWindowHandle_, ControlId(bar))) {
    SendMessageW(control, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(color));
  }
}

void ProgressWindow::RepaintBar(Bar bar) {
  if (HWND control = GetDlgItem(progressWindowHandle_, ControlId(bar)))
    RedrawWindow(control, nullptr, nullptr, kRepaintNow);
}

void ProgressWindow::RepaintWindow() {
  if (progressWindowHandle_ != nullptr)
    RedrawWindow(progressWindowHandle_, nullptr, nullptr, kRepaintNow);
}

// The pacer's answers, at the end of each frame and between frames: they
// count for StayResponsive as well.
void ProgressWindow::AnswerMessages() {
  AnswerSentMessages();
  answers_.Answered();
}

// The scan's long stretches without a bar operation (the whole counting
// pass, folders that hold only folders, a long listing, a large file read
// before its first step) pass through here. A strip uncovered in such a
// stretch is painted again now rather than at the next frame, which may be
// minutes away; it shows the bars as they stand, and nothing waiting in the
// pacer is sent.
void ProgressWindow::Answer() {
  AnswerSentMessages();
  // What was answered may have closed the strip.
  if (pacer_.Running()) {
    HWND strip = progressWindowHandle_;
    bool damaged = GetUpdateRect(strip, nullptr, FALSE) != FALSE;
    for (HWND bar = GetWindow(strip, GW_CHILD); bar != nullptr && !damaged;
         bar = GetWindow(bar, GW_HWNDNEXT)) {
      damaged = GetUpdateRect(bar, nullptr, FALSE) != FALSE;
    }
    if (damaged) RedrawWindow(strip, nullptr, nullptr, kRepaintWhatIsInvalid);
  }
  answers_.Answered();
}

// Nothing retrieves the thread's messages during a scan, so that keyboard
// and mouse input stay unprocessed. Messages sent to the thread are another
// matter: other programs send broadcasts to every top-level window and wait
// for the answer, and a thread that asks for none of its messages for 5 s is
// taken for hung. This call delivers what was sent and retrieves nothing
// posted.
void ProgressWindow::AnswerSentMessages() {
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

}  // namespace escaner::ui
