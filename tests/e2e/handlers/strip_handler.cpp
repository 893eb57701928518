#include "e2e/handlers/strip_handler.h"

#include "support/deadline.h"
#include "support/json_event.h"
#include "support/remote_window.h"

namespace escaner_test {

using escaner_test::ClassOf;
using escaner_test::Emit;
using escaner_test::Format;
using escaner_test::JsonBool;
using escaner_test::JsonRect;
using escaner_test::JsonWide;
using escaner_test::StoredText;

namespace {

// COLORREF 0x00BBGGRR, with how many samples showed each.
std::string JsonColours(const std::map<COLORREF, int>& colours) {
  std::string out = "{";
  for (const auto& [colour, count] : colours) {
    if (out.size() > 1) out += ",";
    out += Format("\"%06lx\":%d", static_cast<unsigned long>(colour), count);
  }
  return out + "}";
}

unsigned long HandleNumber(HWND window) {
  return static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window));
}

}  // namespace

void StripHandler::Meet(HWND strip) {
  RECT window{}, client{};
  GetWindowRect(strip, &window);
  GetClientRect(strip, &client);
  std::string sample =
      "\"rect\":" + JsonRect(window) + ",\"client\":" + JsonRect(client) +
      Format(",\"style\":%lu,\"exstyle\":%lu,\"owner\":%lu", GetWindowLongW(strip, GWL_STYLE),
             GetWindowLongW(strip, GWL_EXSTYLE), HandleNumber(GetWindow(strip, GW_OWNER))) +
      ",\"text\":" + JsonWide(StoredText(strip)) + ",\"children\":[";
  bool first = true;
  for (HWND child : escaner_test::ChildrenOf(strip)) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, strip, reinterpret_cast<POINT*>(&r), 2);
    if (!first) sample += ",";
    sample +=
        Format("{\"id\":%d", GetDlgCtrlID(child)) + ",\"class\":" + JsonWide(ClassOf(child)) +
        ",\"rect\":" + JsonRect(r) +
        Format(",\"style\":%lu,\"exstyle\":%lu,\"visible\":", GetWindowLongW(child, GWL_STYLE),
               GetWindowLongW(child, GWL_EXSTYLE)) +
        JsonBool(IsWindowVisible(child)) + ",\"text\":" + JsonWide(StoredText(child)) + "}";
    first = false;
  }
  sample += "]";
  // What the bars show on the screen, a few pixels in from their left end.
  HDC screen = GetDC(nullptr);
  const COLORREF fileBar = GetPixel(screen, window.left + 3, window.top + 10);
  const COLORREF overallBar = GetPixel(screen, window.left + 3, window.top + 31);
  ReleaseDC(nullptr, screen);
  // The scan may have closed the strip while it was being read.
  if (!IsWindowVisible(strip)) return;
  ++samples_;
  if (!firstSampleMs_) firstSampleMs_ = escaner_test::NowMs();
  ++fileBarColours_[fileBar];
  ++overallBarColours_[overallBar];
  if (sample != lastSample_) {
    Emit(Format("{\"event\":\"strip\",\"sample\":%d,\"strip_id\":%lu,", samples_,
                HandleNumber(strip)) +
         sample + "}");
    lastSample_ = sample;
  }
  lastStrip_ = strip;
}

bool StripHandler::Showing() const {
  return lastStrip_ && IsWindow(lastStrip_) && IsWindowVisible(lastStrip_);
}

void StripHandler::NoteIfClosed() {
  if (!lastStrip_ || closed_ || Showing()) return;
  closed_ = true;
  const auto seenMs = static_cast<unsigned long long>(escaner_test::NowMs() - firstSampleMs_);
  Emit(Format("{\"event\":\"strip_closed\",\"samples\":%d,\"seen_ms\":%llu,", samples_, seenMs) +
       "\"file_bar_colours\":" + JsonColours(fileBarColours_) +
       ",\"overall_bar_colours\":" + JsonColours(overallBarColours_) + "}");
}

}  // namespace escaner_test
