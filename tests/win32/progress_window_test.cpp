// The progress strip, read back from the live window in this process: its
// placement, styles and bars, what the bars hold after the scan's
// operations, what its frames send (on a clock the test moves, so nothing
// here waits on real time), the messages it answers during a scan, closing,
// and a failed creation.
#include "ui/progress_window.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "support/remote_window.h"

namespace escaner::ui {
namespace {

constexpr unsigned kFrame = kShortestFrameMilliseconds;
constexpr unsigned kUnpaced = 0;

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

// Dispatches what was posted to this thread (the test's windows only).
void DispatchPosted() {
  MSG msg;
  for (int i = 0; i < 1000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i)
    DispatchMessageW(&msg);
}

// The repaint target that names `bar`.
PaintTarget TargetOf(Bar bar) {
  return bar == Bar::File ? PaintTarget::FileBar : PaintTarget::OverallBar;
}

HWND PlainWindow(const wchar_t* text, int x, int y, int width, int height) {
  return CreateWindowExW(0, L"STATIC", text, WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr,
                         nullptr, nullptr, nullptr);
}

// Counts the messages that really reach one window, by subclassing it.
class MessageCounter {
 public:
  explicit MessageCounter(HWND window) : window_(window) {
    active_ = this;
    previous_ = SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Count));
  }
  ~MessageCounter() {
    if (IsWindow(window_)) SetWindowLongPtrW(window_, GWLP_WNDPROC, previous_);
    active_ = nullptr;
  }
  MessageCounter(const MessageCounter&) = delete;
  MessageCounter& operator=(const MessageCounter&) = delete;

  int Of(UINT message) const {
    const auto found = seen_.find(message);
    return found == seen_.end() ? 0 : found->second;
  }
  int setPos() const { return Of(PBM_SETPOS); }
  int setColor() const { return Of(PBM_SETBARCOLOR); }
  int paint() const { return Of(WM_PAINT); }
  int Total() const { return setPos() + setColor() + paint(); }

 private:
  static LRESULT CALLBACK Count(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MessageCounter& self = *active_;
    ++self.seen_[message];
    return CallWindowProcW(reinterpret_cast<WNDPROC>(self.previous_), window, message, wParam,
                           lParam);
  }

  static inline MessageCounter* active_ = nullptr;
  HWND window_;
  LONG_PTR previous_ = 0;
  std::map<UINT, int> seen_;
};

// Refuses window creations on this thread, all of them or the child windows
// only, and counts the attempts.
class RefuseWindows {
 public:
  enum Which { kAll, kChildren };
  explicit RefuseWindows(Which which) {
    which_ = which;
    attempts = 0;
    hook_ = SetWindowsHookExW(WH_CBT, &Refuse, nullptr, GetCurrentThreadId());
  }
  ~RefuseWindows() { UnhookWindowsHookEx(hook_); }
  RefuseWindows(const RefuseWindows&) = delete;
  RefuseWindows& operator=(const RefuseWindows&) = delete;
  bool Installed() const { return hook_ != nullptr; }

  static inline int attempts = 0;

 private:
  static LRESULT CALLBACK Refuse(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
      const auto* creation = reinterpret_cast<const CBT_CREATEWNDW*>(lParam);
      if (which_ == kAll || (creation->lpcs->style & WS_CHILD) != 0) {
        ++attempts;
        return 1;
      }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static inline Which which_ = kAll;
  HHOOK hook_ = nullptr;
};

// Counts the messages this thread retrieves from its queue, removed or only
// looked at (the system calls this hook for both).
class RetrievalCounter {
 public:
  RetrievalCounter() {
    retrieved = 0;
    hook_ = SetWindowsHookExW(WH_GETMESSAGE, &Note, nullptr, GetCurrentThreadId());
  }
  ~RetrievalCounter() { UnhookWindowsHookEx(hook_); }
  RetrievalCounter(const RetrievalCounter&) = delete;
  RetrievalCounter& operator=(const RetrievalCounter&) = delete;
  bool Installed() const { return hook_ != nullptr; }

  static inline int retrieved = 0;

 private:
  static LRESULT CALLBACK Note(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) ++retrieved;
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  HHOOK hook_ = nullptr;
};

// A clock the test moves by hand.
class ManualClock : public Clock {
 public:
  std::uint64_t Milliseconds() const override { return now; }
  std::uint64_t now = 1000000;
};

// The product's manifest asks for common controls 6; the strip is tested
// with the same controls, through an activation context naming them. The
// test must not import comctl32: the system's version 5, once loaded, would
// serve the bars' class whatever the context says.
// The test's own architecture, as manifests and the side-by-side store name
// it: x86, or x86-64 where the tests run as such.
#ifdef _WIN64
#define ESCANER_TEST_ARCHITECTURE "amd64"
#define ESCANER_TEST_ARCHITECTURE_W L"amd64"
#else
#define ESCANER_TEST_ARCHITECTURE "x86"
#define ESCANER_TEST_ARCHITECTURE_W L"x86"
#endif

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
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" "
        "processorArchitecture=\"" ESCANER_TEST_ARCHITECTURE
        "\" "
        "publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/></dependentAssembly></dependency>\r\n"
        "</assembly>\r\n";
    HANDLE file = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
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
    auto init = reinterpret_cast<InitProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(module_, "InitCommonControlsEx")));
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
    Build(kFrame);
  }
  void TearDown() override {
    strip_.reset();
    DispatchPosted();
  }

  // A new strip object, paced by the test's clock with a frame of `frame`
  // (kUnpaced: every operation sent at once), showing its window.
  void Build(unsigned frame) {
    strip_.reset();
    strip_.emplace(clock_, frame);
    strip_->ShowProgressWindow(nullptr);
    ASSERT_TRUE(IsWindow(Strip()));
  }

  HWND Strip() const { return strip_->ProgressWindowHandle(); }
  HWND BarOf(Bar bar) const { return GetDlgItem(Strip(), ControlId(bar)); }
  LRESULT PositionOf(Bar bar) const { return SendMessageW(BarOf(bar), PBM_GETPOS, 0, 0); }
  COLORREF ColorOf(Bar bar) const {
    return static_cast<COLORREF>(SendMessageW(BarOf(bar), PBM_GETBARCOLOR, 0, 0));
  }
  // The colour on screen in a bar's middle row, `x` pixels from its left.
  COLORREF PixelOf(Bar bar, int x = 100) const {
    HWND control = BarOf(bar);
    HDC dc = GetDC(control);
    const COLORREF pixel = GetPixel(dc, x, 10);
    ReleaseDC(control, dc);
    return pixel;
  }
  // Paints over a bar behind the strip's back, as a window covering it
  // and then taken away leaves it.
  void Damage(Bar bar, COLORREF color) const {
    HWND control = BarOf(bar);
    HDC dc = GetDC(control);
    HBRUSH brush = CreateSolidBrush(color);
    const RECT all{0, 0, 200, 20};
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    ReleaseDC(control, dc);
  }

  // Ends the frame on the strip's clock, then makes an operation that
  // changes nothing: whatever was waiting is shown.
  void NextFrame() {
    clock_.now += kFrame;
    strip_->RepaintNow(PaintTarget::FileBar);
  }

  // The content test's per-byte sequence, then its end with a byte outside
  // the set and the next file's start, all at one moment of the clock.
  void DriveLikeTheContentCheck(int steps) {
    for (int i = 0; i < steps; ++i) ContentCheckStep(i);
    strip_->SetBarPosition(Bar::File, 12);
    strip_->SetBarColor(Bar::File, kRed);
    strip_->RepaintNow(PaintTarget::FileBar);
    strip_->RepaintNow(PaintTarget::Window);
    strip_->ShowNoActivate();
  }
  void ContentCheckStep(int i) {
    strip_->SetBarPosition(Bar::File, 100 - (i % 101));
    strip_->SetBarColor(Bar::File, i % 2 == 0 ? kOrange : kGold);
    strip_->RepaintNow(PaintTarget::FileBar);
  }

  static inline CommonControls6* controls_ = nullptr;
  ManualClock clock_;
  std::optional<ProgressWindow> strip_;
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
  for (const Case& c : cases)
    EXPECT_EQ(StripLeft(c.desktopWidth), c.x) << "desktop " << c.desktopWidth;
}

// Wine's side-by-side copy reports 5.81 from DllGetVersion, so its folder is
// the witness.
TEST_F(ProgressStrip, BarsComeFromCommonControls6) {
  for (Bar bar : {Bar::File, Bar::Overall}) {
    SCOPED_TRACE(ControlId(bar));
    // The module that holds the bar class's window procedure.
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(GetClassLongPtrW(BarOf(bar), GCLP_WNDPROC)), &module);
    ASSERT_NE(module, nullptr);
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    CharLowerW(path);
    const std::wstring store =
        L"\\winsxs"
        L"\\" ESCANER_TEST_ARCHITECTURE_W L"_microsoft.windows.common-controls_6595b64144ccf1df_6.";
    EXPECT_NE(std::wstring(path).find(store), std::wstring::npos)
        << ::testing::PrintToString(std::wstring(path));
  }
}

TEST_F(ProgressStrip, IsA201By41StripTwoPixelsBelowTheTopCentre) {
  const int x = StripLeft(ScreenRect(GetDesktopWindow()).right);
  EXPECT_EQ(Text(ScreenRect(Strip())), Text(RECT{x, 2, x + 201, 2 + 41}));
  RECT client{};
  GetClientRect(Strip(), &client);
  EXPECT_EQ(Text(client), Text(RECT{0, 0, 201, 41}))
      << "no frame: the client area is the whole window";
}

TEST_F(ProgressStrip, FollowsTheOwnersClientOrigin) {
  strip_->CloseProgressWindow();
  HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 150,
                               400, 300, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(owner, nullptr);
  POINT origin{0, 0};
  ClientToScreen(owner, &origin);
  strip_->ShowProgressWindow(owner);
  const int x = StripLeft(ScreenRect(GetDesktopWindow()).right);
  EXPECT_EQ(Text(ScreenRect(Strip())),
            Text(RECT{x + origin.x, 2 + origin.y, x + origin.x + 201, 2 + origin.y + 41}));
  EXPECT_EQ(GetWindow(Strip(), GW_OWNER), owner);
  strip_->CloseProgressWindow();
  DestroyWindow(owner);
}

TEST_F(ProgressStrip, IsACaptionlessTopMostToolDialog) {
  EXPECT_EQ(escaner_test::ClassOf(Strip()), L"#32770");
  EXPECT_EQ(TextOf(Strip()), L"Dialog1");
  const auto style = static_cast<DWORD>(GetWindowLongW(Strip(), GWL_STYLE));
  const auto exStyle = static_cast<DWORD>(GetWindowLongW(Strip(), GWL_EXSTYLE));
  EXPECT_EQ(
      style,
      0x94000054u);  // WS_POPUP|WS_CLIPSIBLINGS|WS_VISIBLE|DS_SETFONT|DS_NOFAILCREATE|DS_3DLOOK
  EXPECT_EQ(exStyle, 0x00010088u);  // WS_EX_CONTROLPARENT|WS_EX_TOOLWINDOW|WS_EX_TOPMOST
  EXPECT_EQ(style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME | WS_SYSMENU), 0u);
  EXPECT_EQ(exStyle & WS_EX_APPWINDOW, 0u) << "no taskbar button";
}

TEST_F(ProgressStrip, StaysAboveAnOrdinaryWindowShownLater) {
  HWND ordinary = CreateWindowExW(0, L"STATIC", L"ordinary", WS_POPUP | WS_VISIBLE, 0, 0, 1000, 300,
                                  nullptr, nullptr, nullptr, nullptr);
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
    Bar bar;
    const wchar_t* text;
    RECT rect;
  };
  const Case cases[] = {
      {Bar::File, L"ProgressBar1", {0, 0, 200, 20}},
      {Bar::Overall, L"ProgressBar2", {0, 21, 200, 41}},
  };
  const LRESULT stripFont = SendMessageW(Strip(), WM_GETFONT, 0, 0);
  ASSERT_NE(stripFont, 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(ControlId(c.bar));
    HWND bar = BarOf(c.bar);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(escaner_test::ClassOf(bar), L"msctls_progress32");
    EXPECT_EQ(TextOf(bar), c.text);
    EXPECT_EQ(GetWindowLongW(bar, GWL_ID), ControlId(c.bar));
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(bar, GWL_STYLE)),
              0x50000001u);  // WS_CHILD|WS_VISIBLE|PBS_SMOOTH
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
  for (unsigned frame : {kFrame, kUnpaced}) {
    Build(frame);
    for (Bar bar : {Bar::File, Bar::Overall}) {
      for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "frame " << frame << " bar " << ControlId(bar)
                                          << " position " << c.position);
        strip_->SetBarPosition(bar, c.position);
        strip_->RepaintNow(TargetOf(bar));
        NextFrame();
        EXPECT_EQ(PositionOf(bar), c.held);
      }
    }
  }
}

TEST_F(ProgressStrip, BarsShowTheScanColours) {
  struct Case {
    COLORREF color;
    COLORREF onScreen;
  };
  const Case cases[] = {
      {kGold, RGB(255, 215, 0)}, {kOrange, RGB(255, 165, 0)}, {kRed, RGB(255, 0, 0)}};
  for (unsigned frame : {kFrame, kUnpaced}) {
    Build(frame);
    for (Bar bar : {Bar::File, Bar::Overall}) {
      strip_->SetBarPosition(bar, 100);
      for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "frame " << frame << " bar " << ControlId(bar)
                                          << " colour " << std::hex << c.color);
        strip_->SetBarColor(bar, c.color);
        strip_->RepaintNow(TargetOf(bar));
        NextFrame();
        EXPECT_EQ(ColorOf(bar), c.color);
        EXPECT_EQ(PixelOf(bar), c.onScreen);
      }
    }
  }
}

TEST_F(ProgressStrip, ResetGivesTheFullRangeAndAnEmptyBar) {
  SendMessageW(BarOf(Bar::File), PBM_SETRANGE32, 10, 50);
  strip_->SetBarPosition(Bar::File, 40);
  NextFrame();
  strip_->ResetProgressBar(Bar::File);
  PBRANGE range{};
  SendMessageW(BarOf(Bar::File), PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 100);
  EXPECT_EQ(PositionOf(Bar::File), 0);
  // The kept state follows the reset: 40 again is a change to show.
  strip_->SetBarPosition(Bar::File, 40);
  NextFrame();
  EXPECT_EQ(PositionOf(Bar::File), 40);
}

TEST_F(ProgressStrip, WithinAFrameNoMessageReachesABar) {
  MessageCounter seen(BarOf(Bar::File));
  DriveLikeTheContentCheck(1000);
  EXPECT_EQ(seen.Total(), 0);
  EXPECT_EQ(PositionOf(Bar::File), 0) << "nothing shown before the frame ends";

  NextFrame();
  EXPECT_EQ(seen.setPos(), 1);
  EXPECT_EQ(seen.setColor(), 1);
  EXPECT_GE(seen.paint(), 1);
  EXPECT_EQ(PositionOf(Bar::File), 12);
  EXPECT_EQ(ColorOf(Bar::File), kRed);
  EXPECT_EQ(PixelOf(Bar::File, 5), RGB(255, 0, 0));
}

// The strip repaints itself at the start of every file to mend what a
// window covering it left. Asked within a frame, with no bar changing in a
// run of files, that repaint still comes at the next frame.
TEST_F(ProgressStrip, AWholeStripRepaintAskedIsCarriedOutAtTheNextFrameWithNoBarChanged) {
  struct Case {
    const char* name;
    void (*ask)(ProgressWindow&);
  };
  const Case cases[] = {
      {"RepaintNow(strip)", [](ProgressWindow& strip) { strip.RepaintNow(PaintTarget::Window); }},
      {"ShowNoActivate", [](ProgressWindow& strip) { strip.ShowNoActivate(); }},
  };
  strip_->SetBarPosition(Bar::File, 100);
  strip_->SetBarColor(Bar::File, kRed);
  NextFrame();
  ASSERT_EQ(PixelOf(Bar::File), RGB(255, 0, 0));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Damage(Bar::File, RGB(0, 0, 255));
    ASSERT_EQ(PixelOf(Bar::File), RGB(0, 0, 255));
    c.ask(*strip_);
    EXPECT_EQ(PixelOf(Bar::File), RGB(0, 0, 255)) << "within the frame";
    clock_.now += kFrame;
    strip_->SetBarColor(Bar::File, kRed);  // the next file's first operation, no change
    EXPECT_EQ(PixelOf(Bar::File), RGB(255, 0, 0)) << "mended at the next frame";
  }
}

TEST_F(ProgressStrip, ShowNoActivateShowsAHiddenStripWithoutActivatingIt) {
  HWND other = PlainWindow(L"other", 0, 300, 100, 100);
  ASSERT_NE(other, nullptr);
  for (unsigned frame : {kFrame, kUnpaced}) {
    SCOPED_TRACE(frame);
    Build(frame);
    ShowWindow(Strip(), SW_HIDE);
    SetActiveWindow(other);
    ASSERT_EQ(GetActiveWindow(), other);
    strip_->ShowNoActivate();
    EXPECT_TRUE(IsWindowVisible(Strip()));
    EXPECT_EQ(GetActiveWindow(), other);
  }
  DestroyWindow(other);
}

TEST_F(ProgressStrip, ClosesOnlyOnTheSystemCloseCommand) {
  struct Case {
    const char* name;
    void (*act)(ProgressWindow&, HWND);
    bool closes;
  };
  const Case cases[] = {
      {"SC_CLOSE", [](ProgressWindow&, HWND w) { SendMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0); },
       true},
      {"SC_CLOSE, low bits set",
       [](ProgressWindow&, HWND w) { SendMessageW(w, WM_SYSCOMMAND, SC_CLOSE | 0x3, 0); }, true},
      {"CloseProgressWindow", [](ProgressWindow& strip, HWND) { strip.CloseProgressWindow(); },
       true},
      {"WM_CLOSE", [](ProgressWindow&, HWND w) { SendMessageW(w, WM_CLOSE, 0, 0); }, false},
      {"IDCANCEL (Esc)",
       [](ProgressWindow&, HWND w) {
         SendMessageW(w, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
       },
       false},
      {"SC_RESTORE", [](ProgressWindow&, HWND w) { SendMessageW(w, WM_SYSCOMMAND, SC_RESTORE, 0); },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!IsWindow(Strip())) strip_->ShowProgressWindow(nullptr);
    HWND strip = Strip();
    HWND fileBar = BarOf(Bar::File);
    c.act(*strip_, strip);
    DispatchPosted();  // whatever the default handling posted in reply
    EXPECT_EQ(IsWindow(strip) != FALSE, !c.closes);
    EXPECT_EQ(IsWindow(fileBar) != FALSE, !c.closes);
    EXPECT_EQ(Strip(), strip) << "the handle is kept after the window is gone";
  }
}

TEST_F(ProgressStrip, OperationsOnAClosedStripDoNothing) {
  for (unsigned frame : {kFrame, kUnpaced}) {
    SCOPED_TRACE(frame);
    Build(frame);
    HWND strip = Strip();
    SendMessageW(strip, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_FALSE(IsWindow(strip));
    strip_->ResetProgressBar(Bar::File);
    strip_->SetBarPosition(Bar::File, 50);
    strip_->SetBarColor(Bar::File, kRed);
    strip_->RepaintNow(PaintTarget::FileBar);
    strip_->RepaintNow(PaintTarget::Window);
    strip_->ShowNoActivate();
    NextFrame();
    strip_->CloseProgressWindow();
    strip_->CloseProgressWindow();
    EXPECT_FALSE(IsWindow(strip));
    EXPECT_EQ(Strip(), strip);
  }
}

TEST_F(ProgressStrip, GoesWithTheObjectThatBuiltIt) {
  HWND window = nullptr;
  {
    ProgressWindow other(clock_, kFrame);
    other.ShowProgressWindow(nullptr);
    window = other.ProgressWindowHandle();
    ASSERT_TRUE(IsWindow(window));
  }
  EXPECT_FALSE(IsWindow(window));
  EXPECT_TRUE(IsWindow(Strip())) << "another strip object's window stays";
}

TEST_F(ProgressStrip, HandsTheFocusBackWhenReactivated) {
  HWND other = PlainWindow(L"other", 0, 300, 100, 100);
  ASSERT_NE(other, nullptr);
  SetActiveWindow(Strip());
  ASSERT_EQ(GetActiveWindow(), Strip());
  SetFocus(BarOf(Bar::File));
  ASSERT_EQ(GetFocus(), BarOf(Bar::File));

  SetActiveWindow(other);
  EXPECT_EQ(GetActiveWindow(), other);
  EXPECT_EQ(strip_->SavedFocus(), BarOf(Bar::File)) << "kept as activation was lost";

  SetActiveWindow(Strip());
  EXPECT_EQ(GetActiveWindow(), Strip());
  EXPECT_EQ(GetFocus(), BarOf(Bar::File));
  EXPECT_EQ(strip_->SavedFocus(), nullptr) << "handed back and forgotten";
  DestroyWindow(other);
}

TEST_F(ProgressStrip, AFailedCreationLeavesNoHandleAndHarmlessOperations) {
  strip_->CloseProgressWindow();
  ASSERT_NE(Strip(), nullptr) << "the handle of a strip that worked is kept";
  {
    RefuseWindows refuse(RefuseWindows::kAll);
    ASSERT_TRUE(refuse.Installed());
    EXPECT_EQ(strip_->ShowProgressWindow(nullptr), 0);
    EXPECT_EQ(RefuseWindows::attempts, 1) << "no bar is attempted once the window failed";
  }
  EXPECT_EQ(Strip(), nullptr);
  strip_->ResetProgressBar(Bar::File);
  strip_->SetBarPosition(Bar::Overall, 50);
  strip_->SetBarColor(Bar::File, kGold);
  strip_->RepaintNow(PaintTarget::FileBar);
  strip_->RepaintNow(PaintTarget::Window);
  strip_->ShowNoActivate();
  NextFrame();
  strip_->CloseProgressWindow();
  EXPECT_EQ(FindWindowW(L"#32770", L"Dialog1"), nullptr) << "nothing was shown";
}

// A strip whose bars could not be made: each operation on a bar finds none,
// and repaints nothing else in its place (RedrawWindow of no window would
// repaint the whole desktop).
TEST_F(ProgressStrip, WithoutItsBarsTheStripRepaintsNoOtherWindow) {
  HWND watcher = PlainWindow(L"watcher", 0, 300, 100, 100);
  ASSERT_NE(watcher, nullptr);
  UpdateWindow(watcher);
  for (unsigned frame : {kFrame, kUnpaced}) {
    SCOPED_TRACE(frame);
    strip_.reset();
    {
      RefuseWindows refuse(RefuseWindows::kChildren);
      ASSERT_TRUE(refuse.Installed());
      Build(frame);
      EXPECT_EQ(RefuseWindows::attempts, 2);
    }
    ASSERT_EQ(BarOf(Bar::File), nullptr);
    ASSERT_EQ(BarOf(Bar::Overall), nullptr);
    MessageCounter seen(watcher);
    strip_->ResetProgressBar(Bar::File);
    for (int step = 0; step < 3; ++step) {
      clock_.now += kFrame;
      strip_->SetBarPosition(Bar::File, 50 + step);
      strip_->SetBarColor(Bar::File, kRed);
      strip_->RepaintNow(PaintTarget::FileBar);
      clock_.now += kFrame;
      strip_->SetBarPosition(Bar::Overall, 10 + step);
      strip_->RepaintNow(PaintTarget::OverallBar);
    }
    EXPECT_EQ(seen.paint(), 0);
    EXPECT_TRUE(IsWindow(Strip()));
  }
  DestroyWindow(watcher);
}

// During a scan the strip's thread retrieves no message, yet every shortest
// frame it answers what other threads and programs send it, whether or not
// a frame is due. The sender here is another thread of this process, which
// the system treats as it treats another program.
TEST_F(ProgressStrip, AnswersWhatIsSentToItEveryShortestFrameAndRetrievesNothingPosted) {
  struct Case {
    const char* name;
    bool changeWaits;  // a bar change waits for the next frame
  };
  const Case cases[] = {{"at a frame", true}, {"between frames, nothing to paint", false}};
  ASSERT_TRUE(PostMessageW(Strip(), WM_KEYDOWN, VK_ESCAPE, 0x00010001));
  ASSERT_TRUE(PostMessageW(Strip(), WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001u)));
  RetrievalCounter retrievals;
  ASSERT_TRUE(retrievals.Installed());
  const HWND strip = Strip();
  std::int32_t overall = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A frame painted, and the thread answered, just now.
    clock_.now += kFrame;
    strip_->SetBarPosition(Bar::Overall, ++overall);
    MessageCounter seen(strip);
    LRESULT sent = 0;
    DWORD_PTR length = 0;
    wchar_t text[64] = {};
    std::thread sender([&] {
      // A deadline only so that a broken strip ends the test.
      sent = SendMessageTimeoutW(strip, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                                 60000, &length);
    });
    // Not a wait on time: the thread wakes when the message is in its queue.
    const DWORD woken = MsgWaitForMultipleObjectsEx(0, nullptr, 60000, QS_SENDMESSAGE, 0);
    EXPECT_EQ(woken, WAIT_OBJECT_0);

    if (c.changeWaits) {
      DriveLikeTheContentCheck(100);
    } else {
      strip_->RepaintNow(PaintTarget::FileBar);
    }
    clock_.now += kFrame - 1;
    strip_->RepaintNow(PaintTarget::FileBar);
    EXPECT_EQ(seen.Of(WM_GETTEXT), 0) << "within the shortest frame nothing is answered";
    clock_.now += 1;
    strip_->RepaintNow(PaintTarget::FileBar);
    EXPECT_EQ(seen.Of(WM_GETTEXT), 1) << "answered once the shortest frame is over";
    if (c.changeWaits) {
      EXPECT_EQ(PositionOf(Bar::File), 12) << "the frame was painted";
    }

    if (seen.Of(WM_GETTEXT) == 0) {
      MSG any;
      PeekMessageW(&any, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);  // releases the sender
    }
    sender.join();
    EXPECT_NE(sent, 0);
    EXPECT_EQ(std::wstring(text, length), L"Dialog1");
  }
  EXPECT_EQ(RetrievalCounter::retrieved, 0)
      << "no posted message was retrieved, not even looked at";

  // Esc is still waiting in the queue, and the strip is open.
  EXPECT_TRUE(IsWindow(Strip()));
  MSG key{};
  EXPECT_TRUE(PeekMessageW(&key, Strip(), WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE));
  EXPECT_EQ(key.wParam, static_cast<WPARAM>(VK_ESCAPE));
}

// Closing paints what the pacer still holds back before the window goes:
// the strip's last picture is the scan's last state. (Once the window is
// gone no message can reach its bars.)
TEST_F(ProgressStrip, ClosingShowsTheLastStateFirst) {
  MessageCounter seen(BarOf(Bar::File));
  strip_->SetBarPosition(Bar::File, 12);
  strip_->SetBarColor(Bar::File, kRed);
  strip_->RepaintNow(PaintTarget::FileBar);
  ASSERT_EQ(seen.setPos() + seen.setColor(), 0) << "held back within the frame";
  const HWND window = Strip();
  strip_->CloseProgressWindow();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(seen.setPos(), 1);
  EXPECT_EQ(seen.setColor(), 1);
  EXPECT_GE(seen.paint(), 1);
}

}  // namespace
}  // namespace escaner::ui
