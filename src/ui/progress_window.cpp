// Building the strip, its message handling, and closing it.
#include "ui/progress_window.h"

#include <commctrl.h>

#include "ui/bar_display.h"
#include "ui/progress_template.h"

namespace escaner::ui {

HWND ProgressWindowHandle = nullptr;
HWND SavedFocus = nullptr;

namespace {

constexpr DWORD kBarStyle = WS_CHILD | WS_VISIBLE | PBS_SMOOTH;
static_assert(kBarStyle == 0x50000001);

// Placed in pixels without moving it in the z-order, activating or painting it.
constexpr UINT kPlacementFlags =
    SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE | SWP_NOCOPYBITS | SWP_NOOWNERZORDER | SWP_NOSENDCHANGING;
static_assert(kPlacementFlags == 0x071C);

struct BarLayout {
  int id;
  const wchar_t* text;
  int x, y, width, height;
};
constexpr BarLayout kBars[] = {
    {kFileBarId, L"ProgressBar1", 0, 0, 200, 20},
    {kOverallBarId, L"ProgressBar2", 0, 21, 200, 20},
};

// The strip whose messages reach ProgressWindowProc: only once it is about
// to be shown, never during its creation.
HWND handingOnTo = nullptr;

INT_PTR CALLBACK StripDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window == handingOnTo) ProgressWindowProc(window, message, wParam, lParam);
  switch (message) {
    case WM_SYSCOMMAND:
      // Alt+F4 and the like. Esc (IDCANCEL) and WM_CLOSE alone leave the
      // strip open: they fall to the default dialog handling, which closes
      // nothing on a modeless dialog.
      if ((wParam & 0xFFF0) == SC_CLOSE) {
        CloseProgressWindow(window);
        return TRUE;
      }
      return FALSE;
    case WM_DESTROY:
      ForgetStrip(window);
      if (window == handingOnTo) handingOnTo = nullptr;
      return FALSE;
    default:
      // WM_INITDIALOG included: FALSE gives no control the focus.
      return FALSE;
  }
}

}  // namespace

LRESULT ProgressWindowProc(HWND /*window*/, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  if (message == WM_NCACTIVATE) {
    if (wParam == 0) {
      SavedFocus = GetFocus();
    } else if (SavedFocus != nullptr) {
      SetFocus(SavedFocus);
      SavedFocus = nullptr;
    }
  }
  return 0;
}

int ShowProgressWindow(HWND owner) {
  RECT desktop{};
  GetWindowRect(GetDesktopWindow(), &desktop);
  const int x = StripLeft(desktop.right);
  const int y = kStripTop;

  HINSTANCE instance = GetModuleHandleW(nullptr);
  const ProgressTemplate dialogTemplate(x);
  HWND window = CreateDialogIndirectParamW(instance, dialogTemplate.Get(), owner, StripDialogProc, 0);
  ProgressWindowHandle = window;
  if (window == nullptr) return 0;

  // The size asked for is the client area; a frame, if any, is added to it.
  RECT outer{}, client{};
  GetWindowRect(window, &outer);
  GetClientRect(window, &client);
  POINT origin{0, 0};
  if (owner != nullptr) ClientToScreen(owner, &origin);
  SetWindowPos(window, nullptr, x + origin.x, y + origin.y,
               kStripWidth + (outer.right - outer.left) - (client.right - client.left),
               kStripHeight + (outer.bottom - outer.top) - (client.bottom - client.top), kPlacementFlags);
  SetWindowTextW(window, L"Dialog1");
  const LPARAM font = SendMessageW(window, WM_GETFONT, 0, 0);

  for (const BarLayout& layout : kBars) {
    // Pixels, not dialog units.
    HWND bar =
        CreateWindowExW(0, PROGRESS_CLASSW, layout.text, kBarStyle, layout.x, layout.y, layout.width, layout.height,
                        window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(layout.id)), instance, nullptr);
    SendMessageW(bar, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
    SendMessageW(bar, CCM_SETUNICODEFORMAT, 1, 0);
  }
  KeepStrip(window);
  // A new bar already has OverallBar's range and position.
  ResetProgressBar(window, kFileBarId);

  handingOnTo = window;
  ShowWindow(window, SW_SHOW);  // activates it as well
  FlushProgressWindow(window);  // the first show paints at once
  return 0;
}

void CloseProgressWindow(HWND window) {
  if (!IsWindow(window)) return;
  SendMessageW(window, WM_CLOSE, 0, 0);
  DestroyWindow(window);
}

}  // namespace escaner::ui
