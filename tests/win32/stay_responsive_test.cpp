// The strip during the scan's long stretches without a bar operation: the
// counting pass through the real Win32 platform over real folders, its
// listing slowed on the strip's clock, which the test moves (nothing here
// waits on real time). What another thread sends the strip is answered at
// the first point past the interval, what the system marked damaged is
// painted again with the bars as they stand, no bar is moved and nothing
// posted (Esc) is taken from the queue.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "platform/win32/win32_platform.h"
#include "scan/passes.h"
#include "support/remote_window.h"
#include "win32/temp_tree.h"

namespace escaner::win32 {
namespace {

using escaner_test::TempFolder;
using escaner_test::U16;

constexpr int kFileBarId = static_cast<int>(Bar::File);
constexpr int kOverallBarId = static_cast<int>(Bar::Overall);
// Longer than any frame the strip waits between two paintings.
constexpr std::uint64_t kAnyFrame = 1000;

class ManualClock final : public ui::Clock {
 public:
  std::uint64_t Milliseconds() const override { return now; }
  std::uint64_t now = 1000000;
};

// The real platform whose every listing step costs the strip's clock
// kStepMilliseconds, as a slow share or a huge folder would in real time.
class SlowListing final : public Win32Platform {
 public:
  static constexpr std::uint64_t kStepMilliseconds = 2;

  explicit SlowListing(ManualClock& clock) : Win32Platform(clock), clock_(clock) {}
  bool FirstEntry(FolderHandle folder, DirEntry& entry) override {
    clock_.now += kStepMilliseconds;
    ++steps;
    return Win32Platform::FirstEntry(folder, entry);
  }
  bool NextEntry(FolderHandle folder, DirEntry& entry) override {
    clock_.now += kStepMilliseconds;
    ++steps;
    return Win32Platform::NextEntry(folder, entry);
  }

  int steps = 0;

 private:
  ManualClock& clock_;
};

// `width` folders, each holding `width` empty folders: nothing but folders.
void MakeFoldersOnly(const std::wstring& top, int width) {
  for (int i = 0; i < width; ++i) {
    const std::wstring folder = top + L"d" + std::to_wstring(i) + L"\\";
    escaner_test::MakeFolder(folder);
    for (int j = 0; j < width; ++j) escaner_test::MakeFolder(folder + L"e" + std::to_wstring(j));
  }
}

HWND StripOfThisThread() {
  for (HWND window : escaner_test::TopLevelWindowsOfThread(GetCurrentThreadId())) {
    if (escaner_test::ClassOf(window) == L"#32770") return window;
  }
  return nullptr;
}

// Counts, by subclassing one window, the messages that reach it, and notes
// the strip clock's time at the first arrival of each.
class Seen {
 public:
  Seen(HWND window, const ManualClock& clock) : window_(window), clock_(clock) {
    active_ = this;
    previous_ = SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Note));
  }
  ~Seen() {
    if (IsWindow(window_)) SetWindowLongPtrW(window_, GWLP_WNDPROC, previous_);
    active_ = nullptr;
  }
  Seen(const Seen&) = delete;
  Seen& operator=(const Seen&) = delete;

  int Count(UINT message) const {
    const auto found = counts_.find(message);
    return found == counts_.end() ? 0 : found->second;
  }
  std::optional<std::uint64_t> FirstAt(UINT message) const {
    const auto found = firstAt_.find(message);
    if (found == firstAt_.end()) return std::nullopt;
    return found->second;
  }
  int BarMessages() const {
    return Count(PBM_SETPOS) + Count(PBM_SETBARCOLOR) + Count(PBM_SETRANGE);
  }

 private:
  static LRESULT CALLBACK Note(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Seen& self = *active_;
    ++self.counts_[message];
    self.firstAt_.try_emplace(message, self.clock_.now);
    return CallWindowProcW(reinterpret_cast<WNDPROC>(self.previous_), window, message, wParam,
                           lParam);
  }

  static inline Seen* active_ = nullptr;
  HWND window_;
  const ManualClock& clock_;
  LONG_PTR previous_ = 0;
  std::map<UINT, int> counts_;
  std::map<UINT, std::uint64_t> firstAt_;
};

class StayResponsiveStrip : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
  }
  void SetUp() override {
    MakeFoldersOnly(tree_.Path(), 8);  // 73 folders, some 330 listing steps
    platform_.ShowProgressWindow();
    strip_ = StripOfThisThread();
    ASSERT_NE(strip_, nullptr);
    shownAt_ = clock_.now;  // the first show paints and answers at once
  }
  void TearDown() override { platform_.CloseProgressWindow(); }

  HWND Bar(int id) const { return GetDlgItem(strip_, id); }
  LRESULT PositionOf(int id) const { return SendMessageW(Bar(id), PBM_GETPOS, 0, 0); }
  COLORREF PixelOf(int id, int x) const {
    HDC dc = GetDC(Bar(id));
    const COLORREF pixel = GetPixel(dc, x, 10);
    ReleaseDC(Bar(id), dc);
    return pixel;
  }
  bool Invalid(HWND window) const { return GetUpdateRect(window, nullptr, FALSE) != FALSE; }

  void CountingPass() {
    ScanCounters counters;
    CountFiles(platform_, U16(tree_.Path()), counters);
    EXPECT_EQ(counters.FilesScanned, 0);
  }

  TempFolder tree_;
  ManualClock clock_;
  SlowListing platform_{clock_};
  HWND strip_ = nullptr;
  std::uint64_t shownAt_ = 0;
};

TEST_F(StayResponsiveStrip, AnswersASenderAtTheFirstPointPastTheIntervalAndLeavesEscQueued) {
  ASSERT_TRUE(PostMessageW(strip_, WM_KEYDOWN, VK_ESCAPE, 0x00010001));
  constexpr UINT kProbe = WM_APP + 7;  // the dialog's default handling answers 0
  Seen seen(strip_, clock_);
  LRESULT sent = 0;
  std::thread sender([&] {
    DWORD_PTR result = 0;
    // A deadline only so that a silent strip ends the test.
    sent = SendMessageTimeoutW(strip_, kProbe, 0, 0, SMTO_NORMAL, 60000, &result);
  });
  // Not a wait on time: the thread wakes when the message is in its queue.
  ASSERT_EQ(MsgWaitForMultipleObjectsEx(0, nullptr, 60000, QS_SENDMESSAGE, 0), WAIT_OBJECT_0);

  CountingPass();
  const std::optional<std::uint64_t> answeredAt = seen.FirstAt(kProbe);
  if (!answeredAt) {
    MSG any;
    PeekMessageW(&any, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);  // releases the sender
  }
  sender.join();
  EXPECT_NE(sent, 0);
  ASSERT_TRUE(answeredAt) << "not answered during the counting pass";
  EXPECT_GE(*answeredAt, shownAt_ + ui::kAnswerMilliseconds) << "answered within the interval";
  // The end of one listing and the start of the next lie between two points.
  EXPECT_LE(*answeredAt, shownAt_ + ui::kAnswerMilliseconds + 2 * SlowListing::kStepMilliseconds)
      << "a point past the interval left the sender waiting";
  EXPECT_GT(clock_.now - shownAt_, 20 * ui::kAnswerMilliseconds) << "the pass is long";

  EXPECT_EQ(PositionOf(kFileBarId), 0);
  EXPECT_EQ(PositionOf(kOverallBarId), 0);
  EXPECT_TRUE(IsWindow(strip_));
  MSG key{};
  EXPECT_TRUE(PeekMessageW(&key, strip_, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE))
      << "Esc was taken from the queue";
  EXPECT_EQ(key.wParam, static_cast<WPARAM>(VK_ESCAPE));
}

// Damage as the system marks it when the strip is uncovered: the whole strip
// invalid (its bars with it: it does not clip its children), or one bar
// alone; the bar's pixels overwritten behind the strip's back.
TEST_F(StayResponsiveStrip, PaintsWhatTheSystemMarkedInvalidWithTheBarsAsTheyStand) {
  struct Case {
    const char* name;
    bool wholeStrip;
  };
  const Case cases[] = {{"the whole strip", true}, {"FileBar alone", false}};
  // FileBar shown red at 40; 70, asked right after that frame, waits for the next.
  platform_.SetBarColor(Bar::File, kRed);
  platform_.SetBarPosition(Bar::File, 40);
  clock_.now += kAnyFrame;
  platform_.RepaintNow(PaintTarget::FileBar);
  platform_.SetBarPosition(Bar::File, 70);
  ASSERT_EQ(PositionOf(kFileBarId), 40);
  const COLORREF filled = PixelOf(kFileBarId, 10);
  const COLORREF empty = PixelOf(kFileBarId, 190);
  ASSERT_NE(filled, empty);

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HDC dc = GetDC(Bar(kFileBarId));
    HBRUSH green = CreateSolidBrush(RGB(0, 128, 0));
    const RECT all{0, 0, 200, 20};
    FillRect(dc, &all, green);
    DeleteObject(green);
    ReleaseDC(Bar(kFileBarId), dc);
    InvalidateRect(c.wholeStrip ? strip_ : Bar(kFileBarId), nullptr, TRUE);
    ASSERT_TRUE(Invalid(Bar(kFileBarId)));
    Seen seen(Bar(kFileBarId), clock_);

    CountingPass();

    EXPECT_FALSE(Invalid(strip_));
    EXPECT_FALSE(Invalid(Bar(kFileBarId)));
    EXPECT_FALSE(Invalid(Bar(kOverallBarId)));
    EXPECT_EQ(PixelOf(kFileBarId, 10), filled);
    EXPECT_EQ(PixelOf(kFileBarId, 190), empty);
    EXPECT_EQ(seen.BarMessages(), 0);
    EXPECT_EQ(PositionOf(kFileBarId), 40) << "what waits for a frame is not sent";
    EXPECT_EQ(PositionOf(kOverallBarId), 0);
  }
}

}  // namespace
}  // namespace escaner::win32
