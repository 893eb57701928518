// The progress strip, read back from the live window in this process: its
// placement, styles and bars, what the bars hold after the scan's
// operations, the pacing of their paints, closing, and a failed creation.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <cstdint>
#include <limits>
#include <sstream>
#include <string>

#include "ui/progress_window.h"

namespace escaner::ui {
namespace {

constexpr COLORREF kGold = 0x0000D7FF;
constexpr COLORREF kOrange = 0x0000A5FF;
constexpr COLORREF kRed = 0x000000FF;
// Long enough that no frame ends while a test runs.
constexpr unsigned kEndlessFrame = 10 * 60 * 1000;

HWND Strip() { return ProgressWindowHandle; }
HWND BarOf(int id) { return GetDlgItem(ProgressWindowHandle, id); }

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::wstring TextOf(HWND window) {
  wchar_t text[64] = {};
  GetWindowTextW(window, text, 64);
  return text;
}

RECT ScreenRect(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}

// A child's rectangle in its parent's client coordinates.
RECT RectInParent(HWND child) {
  RECT r = ScreenRect(child);
  MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// "(left,top)-(right,bottom)", so that rectangles compare and print alike.
std::string Text(const RECT& r) {
  std::ostringstream out;
  out << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
  return out.str();
}

LRESULT PositionOf(int barId) { return SendMessageW(BarOf(barId), PBM_GETPOS, 0, 0); }
COLORREF ColorOf(int barId) { return static_cast<COLORREF>(SendMessageW(BarOf(barId), PBM_GETBARCOLOR, 0, 0)); }

// The colour on screen in a bar's middle row, `x` pixels from its left.
COLORREF PixelOf(int barId, int x = 100) {
  HWND bar = BarOf(barId);
  HDC dc = GetDC(bar);
  const COLORREF pixel = GetPixel(dc, x, 10);
  ReleaseDC(bar, dc);
  return pixel;
}

// Dispatches what was posted to this thread (the test's windows only).
void DispatchPosted() {
  MSG msg;
  for (int i = 0; i < 1000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) DispatchMessageW(&msg);
}

// Waits, with a deadline, until the tick clock has moved `milliseconds` on.
void WaitTicks(ULONGLONG milliseconds) {
  const ULONGLONG start = GetTickCount64();
  while (GetTickCount64() - start < milliseconds) Sleep(1);
}

// Counts the messages that really reach one bar, by subclassing it.
class BarMessageCounter {
 public:
  explicit BarMessageCounter(HWND bar) : bar_(bar) {
    active_ = this;
    previous_ = SetWindowLongPtrW(bar_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Count));
  }
  ~BarMessageCounter() {
    if (IsWindow(bar_)) SetWindowLongPtrW(bar_, GWLP_WNDPROC, previous_);
    active_ = nullptr;
  }
  BarMessageCounter(const BarMessageCounter&) = delete;
  BarMessageCounter& operator=(const BarMessageCounter&) = delete;

  int setPos = 0;
  int setColor = 0;
  int paint = 0;
  int Total() const { return setPos + setColor + paint; }

 private:
  static LRESULT CALLBACK Count(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    BarMessageCounter& self = *active_;
    if (message == PBM_SETPOS) ++self.setPos;
    if (message == PBM_SETBARCOLOR) ++self.setColor;
    if (message == WM_PAINT) ++self.paint;
    return CallWindowProcW(reinterpret_cast<WNDPROC>(self.previous_), window, message, wParam, lParam);
  }

  static inline BarMessageCounter* active_ = nullptr;
  HWND bar_;
  LONG_PTR previous_ = 0;
};

// The product's manifest asks for common controls 6; the strip is tested
// with the same controls, through an activation context naming them. The
// test must not import comctl32: the system's version 5, once loaded, would
// serve the bars' class whatever the context says.
class CommonControls6 {
 public:
  CommonControls6() {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    path_ = std::wstring(folder) + L"escaner_progress_test.manifest";
    const char manifest[] =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
        "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
        "<dependency><dependentAssembly><assemblyIdentity type=\"win32\" "
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" processorArchitecture=\"x86\" "
        "publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/></dependentAssembly></dependency>\r\n"
        "</assembly>\r\n";
    HANDLE file = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, manifest, sizeof manifest - 1, &written, nullptr);
    CloseHandle(file);
    ACTCTXW request{};
    request.cbSize = sizeof request;
    request.lpSource = path_.c_str();
    context_ = CreateActCtxW(&request);
    if (context_ == INVALID_HANDLE_VALUE) return;
    ActivateActCtx(context_, &cookie_);
    module_ = LoadLibraryW(L"comctl32.dll");
    using InitProc = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    auto init =
        reinterpret_cast<InitProc>(reinterpret_cast<void (*)()>(GetProcAddress(module_, "InitCommonControlsEx")));
    INITCOMMONCONTROLSEX controls{sizeof controls, 0x706F};  // as the start-up registers them
    if (init != nullptr) init(&controls);
  }
  ~CommonControls6() {
    if (module_ != nullptr) FreeLibrary(module_);
    if (context_ != INVALID_HANDLE_VALUE) {
      DeactivateActCtx(0, cookie_);
      ReleaseActCtx(context_);
    }
    DeleteFileW(path_.c_str());
  }
  CommonControls6(const CommonControls6&) = delete;
  CommonControls6& operator=(const CommonControls6&) = delete;

  bool Active() const { return context_ != INVALID_HANDLE_VALUE && module_ != nullptr; }

 private:
  std::wstring path_;
  HANDLE context_ = INVALID_HANDLE_VALUE;
  ULONG_PTR cookie_ = 0;
  HMODULE module_ = nullptr;
};

class ProgressStrip : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { controls_ = new CommonControls6(); }
  static void TearDownTestSuite() {
    delete controls_;
    controls_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(controls_->Active()) << "no common controls 6 context, error " << GetLastError();
    SetFrameInterval(kDefaultFrameMilliseconds);
    ShowProgressWindow(nullptr);
    ASSERT_TRUE(IsWindow(Strip()));
  }
  void TearDown() override {
    CloseProgressWindow(Strip());
    SetFrameInterval(kDefaultFrameMilliseconds);
    DispatchPosted();
  }

  static inline CommonControls6* controls_ = nullptr;
};

TEST(StripLeft, CentresOnTheDesktopTruncatingTowardZero) {
  struct Case {
    int desktopWidth;
    int x;
  };
  const Case cases[] = {
      {1920, 859}, {1366, 582}, {1280, 539}, {1024, 411},
      {800, 299},  {201, 0},    {200, 0},  // -1 / 2 truncates to 0, not -1
      {150, -25},                          // partly off the screen, not clamped
  };
  for (const Case& c : cases) EXPECT_EQ(StripLeft(c.desktopWidth), c.x) << "desktop " << c.desktopWidth;
}

// Wine's side-by-side copy reports 5.81 from DllGetVersion, so its folder is
// the witness.
TEST_F(ProgressStrip, BarsComeFromCommonControls6) {
  for (int id : {kFileBarId, kOverallBarId}) {
    SCOPED_TRACE(id);
    // The module that holds the bar class's window procedure.
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(GetClassLongPtrW(BarOf(id), GCLP_WNDPROC)), &module);
    ASSERT_NE(module, nullptr);
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    CharLowerW(path);
    EXPECT_NE(std::wstring(path).find(L"\\winsxs\\x86_microsoft.windows.common-controls_6595b64144ccf1df_6."),
              std::wstring::npos)
        << ::testing::PrintToString(std::wstring(path));
  }
}

TEST_F(ProgressStrip, IsA201By41StripTwoPixelsBelowTheTopCentre) {
  const int x = StripLeft(ScreenRect(GetDesktopWindow()).right);
  EXPECT_EQ(Text(ScreenRect(Strip())), Text(RECT{x, 2, x + 201, 2 + 41}));
  RECT client{};
  GetClientRect(Strip(), &client);
  EXPECT_EQ(Text(client), Text(RECT{0, 0, 201, 41})) << "no frame: the client area is the whole window";
}

TEST_F(ProgressStrip, FollowsTheOwnersClientOrigin) {
  CloseProgressWindow(Strip());
  HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 150, 400, 300, nullptr,
                               nullptr, nullptr, nullptr);
  ASSERT_NE(owner, nullptr);
  POINT origin{0, 0};
  ClientToScreen(owner, &origin);
  ShowProgressWindow(owner);
  const int x = StripLeft(ScreenRect(GetDesktopWindow()).right);
  EXPECT_EQ(Text(ScreenRect(Strip())), Text(RECT{x + origin.x, 2 + origin.y, x + origin.x + 201, 2 + origin.y + 41}));
  EXPECT_EQ(GetWindow(Strip(), GW_OWNER), owner);
  CloseProgressWindow(Strip());
  DestroyWindow(owner);
}

TEST_F(ProgressStrip, IsACaptionlessTopMostToolDialog) {
  EXPECT_EQ(ClassOf(Strip()), L"#32770");
  EXPECT_EQ(TextOf(Strip()), L"Dialog1");
  const auto style = static_cast<DWORD>(GetWindowLongW(Strip(), GWL_STYLE));
  const auto exStyle = static_cast<DWORD>(GetWindowLongW(Strip(), GWL_EXSTYLE));
  EXPECT_EQ(style, 0x94000054u);    // WS_POPUP|WS_CLIPSIBLINGS|WS_VISIBLE|DS_SETFONT|DS_NOFAILCREATE|DS_3DLOOK
  EXPECT_EQ(exStyle, 0x00010088u);  // WS_EX_CONTROLPARENT|WS_EX_TOOLWINDOW|WS_EX_TOPMOST
  EXPECT_EQ(style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME | WS_SYSMENU), 0u);
  EXPECT_EQ(exStyle & WS_EX_APPWINDOW, 0u) << "no taskbar button";
}

TEST_F(ProgressStrip, StaysAboveAnOrdinaryWindowShownLater) {
  HWND ordinary = CreateWindowExW(0, L"STATIC", L"ordinary", WS_POPUP | WS_VISIBLE, 0, 0, 1000, 300, nullptr, nullptr,
                                  nullptr, nullptr);
  ASSERT_NE(ordinary, nullptr);
  SetWindowPos(ordinary, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  bool stripSeenFirst = false;
  for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
    if (w == Strip()) stripSeenFirst = true;
    if (w == ordinary) break;
  }
  EXPECT_TRUE(stripSeenFirst);
  DestroyWindow(ordinary);
}

TEST_F(ProgressStrip, HoldsTwoSmoothBarsOneAboveTheOther) {
  struct Case {
    int id;
    const wchar_t* text;
    RECT rect;
  };
  const Case cases[] = {
      {kFileBarId, L"ProgressBar1", {0, 0, 200, 20}},
      {kOverallBarId, L"ProgressBar2", {0, 21, 200, 41}},
  };
  const LRESULT stripFont = SendMessageW(Strip(), WM_GETFONT, 0, 0);
  ASSERT_NE(stripFont, 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    HWND bar = BarOf(c.id);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(ClassOf(bar), L"msctls_progress32");
    EXPECT_EQ(TextOf(bar), c.text);
    EXPECT_EQ(GetWindowLongW(bar, GWL_ID), c.id);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(bar, GWL_STYLE)), 0x50000001u);  // WS_CHILD|WS_VISIBLE|PBS_SMOOTH
    // Created with none; the control gives itself a static edge.
    EXPECT_EQ(GetWindowLongW(bar, GWL_EXSTYLE), WS_EX_STATICEDGE);
    EXPECT_EQ(Text(RectInParent(bar)), Text(c.rect));
    EXPECT_EQ(SendMessageW(bar, WM_GETFONT, 0, 0), stripFont);
    PBRANGE range{};
    SendMessageW(bar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 100);
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
    EXPECT_EQ(static_cast<COLORREF>(SendMessageW(bar, PBM_GETBARCOLOR, 0, 0)), CLR_DEFAULT)
        << "no colour before the scan sets one";
  }
}

TEST_F(ProgressStrip, TakesItsFontFromTheTemplate) {
  const auto font = reinterpret_cast<HFONT>(SendMessageW(Strip(), WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr);
  LOGFONTW face{};
  ASSERT_NE(GetObjectW(font, sizeof face, &face), 0);
  EXPECT_STREQ(face.lfFaceName, L"MS Sans Serif");
  EXPECT_EQ(face.lfWeight, 400);
  EXPECT_EQ(face.lfItalic, 0);
}

TEST_F(ProgressStrip, BarsHoldPositionsWithinTheirRange) {
  struct Case {
    std::int32_t position;
    LRESULT held;
  };
  const Case cases[] = {
      {37, 37},
      {100, 100},
      {0, 0},
      {150, 100},
      {-5, 0},
      {std::numeric_limits<std::int32_t>::max(), 100},
      {std::numeric_limits<std::int32_t>::min(), 0},
  };
  for (unsigned frame : {kDefaultFrameMilliseconds, 0u}) {
    SetFrameInterval(frame);
    for (int id : {kFileBarId, kOverallBarId}) {
      for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "frame " << frame << " bar " << id << " position " << c.position);
        SetBarPosition(Strip(), id, c.position);
        RepaintNow(Strip(), id);
        FlushProgressWindow(Strip());
        EXPECT_EQ(PositionOf(id), c.held);
      }
    }
  }
}

TEST_F(ProgressStrip, BarsShowTheScanColours) {
  struct Case {
    COLORREF color;
    COLORREF onScreen;
  };
  const Case cases[] = {{kGold, RGB(255, 215, 0)}, {kOrange, RGB(255, 165, 0)}, {kRed, RGB(255, 0, 0)}};
  for (unsigned frame : {kDefaultFrameMilliseconds, 0u}) {
    SetFrameInterval(frame);
    for (int id : {kFileBarId, kOverallBarId}) {
      SetBarPosition(Strip(), id, 100);
      for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "frame " << frame << " bar " << id << " colour " << std::hex << c.color);
        SetBarColor(Strip(), id, c.color);
        RepaintNow(Strip(), id);
        FlushProgressWindow(Strip());
        EXPECT_EQ(ColorOf(id), c.color);
        EXPECT_EQ(PixelOf(id), c.onScreen);
      }
    }
  }
}

TEST_F(ProgressStrip, ResetGivesTheFullRangeAndAnEmptyBar) {
  SendMessageW(BarOf(kFileBarId), PBM_SETRANGE32, 10, 50);
  SetBarPosition(Strip(), kFileBarId, 40);
  FlushProgressWindow(Strip());
  ResetProgressBar(Strip(), kFileBarId);
  PBRANGE range{};
  SendMessageW(BarOf(kFileBarId), PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 100);
  EXPECT_EQ(PositionOf(kFileBarId), 0);
  // The kept state follows the reset: 40 again is a change to show.
  SetBarPosition(Strip(), kFileBarId, 40);
  FlushProgressWindow(Strip());
  EXPECT_EQ(PositionOf(kFileBarId), 40);
}

// The content test's per-byte sequence, many times within one frame.
void DriveLikeTheContentTest(int steps) {
  for (int i = 0; i < steps; ++i) {
    SetBarPosition(Strip(), kFileBarId, 100 - (i % 101));
    SetBarColor(Strip(), kFileBarId, i % 2 == 0 ? kOrange : kGold);
    RepaintNow(Strip(), kFileBarId);
  }
  SetBarPosition(Strip(), kFileBarId, 12);
  SetBarColor(Strip(), kFileBarId, kRed);
  RepaintNow(Strip(), kFileBarId);
  RepaintNow(Strip(), 0);
  ShowNoActivate(Strip());
}

TEST_F(ProgressStrip, WithinAFrameNoMessageReachesABar) {
  SetFrameInterval(kEndlessFrame);
  FlushProgressWindow(Strip());
  BarMessageCounter seen(BarOf(kFileBarId));
  DriveLikeTheContentTest(1000);
  EXPECT_EQ(seen.Total(), 0);
  EXPECT_EQ(PositionOf(kFileBarId), 0) << "nothing shown before the frame ends";

  FlushProgressWindow(Strip());
  EXPECT_EQ(seen.setPos, 1);
  EXPECT_EQ(seen.setColor, 1);
  EXPECT_GE(seen.paint, 1);
  EXPECT_EQ(PositionOf(kFileBarId), 12);
  EXPECT_EQ(ColorOf(kFileBarId), kRed);
  EXPECT_EQ(PixelOf(kFileBarId, 5), RGB(255, 0, 0));
}

TEST_F(ProgressStrip, AThousandOperationsCostAFewFramesNotAThousandPaints) {
  BarMessageCounter seen(BarOf(kFileBarId));
  DriveLikeTheContentTest(1000);
  // Without paints the thousand steps take a small part of one frame.
  EXPECT_LE(seen.setPos, 3);
  EXPECT_LE(seen.paint, 6);
  FlushProgressWindow(Strip());
  EXPECT_EQ(PositionOf(kFileBarId), 12);
  EXPECT_EQ(ColorOf(kFileBarId), kRed);
}

TEST_F(ProgressStrip, AWaitingChangeIsShownByTheFirstOperationAfterTheFrame) {
  SetFrameInterval(20);
  FlushProgressWindow(Strip());
  SetBarPosition(Strip(), kOverallBarId, 40);
  WaitTicks(20);
  RepaintNow(Strip(), kFileBarId);  // changes nothing itself
  EXPECT_EQ(PositionOf(kOverallBarId), 40);
}

TEST_F(ProgressStrip, OperationsThatChangeNothingSendNothing) {
  SetFrameInterval(1);
  SetBarPosition(Strip(), kFileBarId, 100);
  SetBarColor(Strip(), kFileBarId, kGold);
  FlushProgressWindow(Strip());
  WaitTicks(2);  // the frame is over: anything waiting would be sent
  BarMessageCounter seen(BarOf(kFileBarId));
  SetBarPosition(Strip(), kFileBarId, 100);
  SetBarPosition(Strip(), kFileBarId, 150);  // held as 100 all the same
  SetBarColor(Strip(), kFileBarId, kGold);
  RepaintNow(Strip(), kFileBarId);
  RepaintNow(Strip(), 0);
  ShowNoActivate(Strip());
  EXPECT_EQ(seen.Total(), 0);
}

TEST_F(ProgressStrip, WithoutPacingEveryOperationReachesTheBar) {
  SetFrameInterval(0);
  BarMessageCounter seen(BarOf(kFileBarId));
  for (int i = 0; i < 10; ++i) SetBarPosition(Strip(), kFileBarId, 50);
  for (int i = 0; i < 3; ++i) SetBarColor(Strip(), kFileBarId, kOrange);
  EXPECT_EQ(seen.setPos, 10);
  EXPECT_EQ(seen.setColor, 3);
  const int paintsBefore = seen.paint;
  RepaintNow(Strip(), kFileBarId);
  EXPECT_GT(seen.paint, paintsBefore);
}

TEST_F(ProgressStrip, ScanBarsKeepThePlatformColourUntilOneIsSet) {
  BarMessageCounter seen(BarOf(kOverallBarId));
  SetBarPosition(Strip(), kOverallBarId, 60);
  RepaintNow(Strip(), kOverallBarId);
  ShowNoActivate(Strip());
  FlushProgressWindow(Strip());
  EXPECT_EQ(PositionOf(kOverallBarId), 60);
  EXPECT_EQ(seen.setColor, 0);
  EXPECT_EQ(ColorOf(kOverallBarId), CLR_DEFAULT);
}

TEST_F(ProgressStrip, ShowNoActivateShowsAHiddenStripWithoutActivatingIt) {
  HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 300, 100, 100, nullptr, nullptr,
                               nullptr, nullptr);
  ASSERT_NE(other, nullptr);
  ShowWindow(Strip(), SW_HIDE);
  SetActiveWindow(other);
  ASSERT_EQ(GetActiveWindow(), other);
  for (unsigned frame : {kDefaultFrameMilliseconds, 0u}) {
    SCOPED_TRACE(frame);
    SetFrameInterval(frame);
    ShowWindow(Strip(), SW_HIDE);
    ShowNoActivate(Strip());
    EXPECT_TRUE(IsWindowVisible(Strip()));
    EXPECT_EQ(GetActiveWindow(), other);
  }
  DestroyWindow(other);
}

TEST_F(ProgressStrip, ClosesOnlyOnTheSystemCloseCommand) {
  struct Case {
    const char* name;
    void (*act)(HWND);
    bool closes;
  };
  const Case cases[] = {
      {"SC_CLOSE", [](HWND w) { SendMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0); }, true},
      {"SC_CLOSE, low bits set", [](HWND w) { SendMessageW(w, WM_SYSCOMMAND, SC_CLOSE | 0x3, 0); }, true},
      {"CloseProgressWindow", [](HWND w) { CloseProgressWindow(w); }, true},
      {"WM_CLOSE", [](HWND w) { SendMessageW(w, WM_CLOSE, 0, 0); }, false},
      {"IDCANCEL (Esc)", [](HWND w) { SendMessageW(w, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); }, false},
      {"SC_RESTORE", [](HWND w) { SendMessageW(w, WM_SYSCOMMAND, SC_RESTORE, 0); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!IsWindow(Strip())) ShowProgressWindow(nullptr);
    HWND strip = Strip();
    HWND fileBar = BarOf(kFileBarId);
    c.act(strip);
    DispatchPosted();  // whatever the default handling posted in reply
    EXPECT_EQ(IsWindow(strip) != FALSE, !c.closes);
    EXPECT_EQ(IsWindow(fileBar) != FALSE, !c.closes);
    EXPECT_EQ(Strip(), strip) << "the handle is kept after the window is gone";
  }
}

TEST_F(ProgressStrip, OperationsOnAClosedStripDoNothing) {
  for (unsigned frame : {kDefaultFrameMilliseconds, 0u}) {
    SCOPED_TRACE(frame);
    SetFrameInterval(frame);
    if (!IsWindow(Strip())) ShowProgressWindow(nullptr);
    HWND strip = Strip();
    SendMessageW(strip, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_FALSE(IsWindow(strip));
    ResetProgressBar(strip, kFileBarId);
    SetBarPosition(strip, kFileBarId, 50);
    SetBarColor(strip, kFileBarId, kRed);
    RepaintNow(strip, kFileBarId);
    RepaintNow(strip, 0);
    ShowNoActivate(strip);
    FlushProgressWindow(strip);
    CloseProgressWindow(strip);
    CloseProgressWindow(strip);
    EXPECT_FALSE(IsWindow(strip));
  }
}

TEST_F(ProgressStrip, HandsTheFocusBackWhenReactivated) {
  HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 300, 100, 100, nullptr, nullptr,
                               nullptr, nullptr);
  ASSERT_NE(other, nullptr);
  SetActiveWindow(Strip());
  ASSERT_EQ(GetActiveWindow(), Strip());
  SetFocus(BarOf(kFileBarId));
  ASSERT_EQ(GetFocus(), BarOf(kFileBarId));

  SetActiveWindow(other);
  EXPECT_EQ(GetActiveWindow(), other);
  EXPECT_EQ(SavedFocus, BarOf(kFileBarId)) << "kept as activation was lost";

  SetActiveWindow(Strip());
  EXPECT_EQ(GetActiveWindow(), Strip());
  EXPECT_EQ(GetFocus(), BarOf(kFileBarId));
  EXPECT_EQ(SavedFocus, nullptr) << "handed back and forgotten";
  DestroyWindow(other);
}

// Refuses every window creation on this thread and counts the attempts.
class RefuseWindows {
 public:
  RefuseWindows() { hook_ = SetWindowsHookExW(WH_CBT, &Refuse, nullptr, GetCurrentThreadId()); }
  ~RefuseWindows() { UnhookWindowsHookEx(hook_); }
  RefuseWindows(const RefuseWindows&) = delete;
  RefuseWindows& operator=(const RefuseWindows&) = delete;
  bool Installed() const { return hook_ != nullptr; }

  static inline int attempts = 0;

 private:
  static LRESULT CALLBACK Refuse(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
      ++attempts;
      return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  HHOOK hook_ = nullptr;
};

TEST_F(ProgressStrip, AFailedCreationLeavesNoHandleAndHarmlessOperations) {
  CloseProgressWindow(Strip());
  ASSERT_NE(ProgressWindowHandle, nullptr) << "the handle of a strip that worked is kept";
  {
    RefuseWindows refuse;
    ASSERT_TRUE(refuse.Installed());
    RefuseWindows::attempts = 0;
    EXPECT_EQ(ShowProgressWindow(nullptr), 0);
    EXPECT_EQ(RefuseWindows::attempts, 1) << "no bar is attempted once the window failed";
  }
  EXPECT_EQ(ProgressWindowHandle, nullptr);
  ResetProgressBar(ProgressWindowHandle, kFileBarId);
  SetBarPosition(ProgressWindowHandle, kOverallBarId, 50);
  SetBarColor(ProgressWindowHandle, kFileBarId, kGold);
  RepaintNow(ProgressWindowHandle, kFileBarId);
  RepaintNow(ProgressWindowHandle, 0);
  ShowNoActivate(ProgressWindowHandle);
  CloseProgressWindow(ProgressWindowHandle);
  EXPECT_EQ(FindWindowW(L"#32770", L"Dialog1"), nullptr) << "nothing was shown";
}

}  // namespace
}  // namespace escaner::ui
