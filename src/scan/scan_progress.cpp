#include "scan/scan_progress.h"

#include <algorithm>
#include <limits>

namespace escaner {

std::int32_t Percent(std::int64_t part, std::int32_t whole, std::int32_t whenEmpty) {
  if (whole == 0) return whenEmpty;
  const std::int64_t value = (100 * part) / whole;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

ScanProgress::ScanProgress(Platform& platform, const ScanCounters& counters)
    : platform_(platform), counters_(counters) {}

void ScanProgress::FileReached() {
  // An empty count with files present means files appeared after the
  // counting pass: the bar shows full rather than dividing by zero.
  platform_.SetBarPosition(Bar::Overall, Percent(counters_.FilesDone, counters_.FilesScanned, 100));
  platform_.SetBarColor(Bar::File, kGold);
  platform_.RepaintNow(PaintTarget::OverallBar);
}

void ScanProgress::TestStarted() {
  platform_.RepaintNow(PaintTarget::Window);
  platform_.ShowNoActivate();
}

void ScanProgress::FileExamined(std::uint64_t length, std::uint64_t stopIndex) {
  // Byte i shows 100 - (100 * i) / U. Only the bytes where that value
  // changes are sent: the bar passes through the same pictures, at most 101
  // of them, however long the file.
  const std::uint64_t last = length - 1;  // U
  const bool allKeyboard = stopIndex == length;
  const std::uint64_t stop = allKeyboard ? last : stopIndex;
  std::uint64_t i = 0;
  for (;;) {
    const std::uint64_t fallen = (100 * i) / last;
    platform_.SetBarPosition(Bar::File, static_cast<std::int32_t>(100 - fallen));
    platform_.SetBarColor(Bar::File, kOrange);
    platform_.RepaintNow(PaintTarget::FileBar);
    if (fallen == 100) break;
    const std::uint64_t next = ((fallen + 1) * last + 99) / 100;  // first byte showing less
    if (next > stop) break;
    i = next;
  }
  if (!allKeyboard) {
    platform_.SetBarPosition(Bar::File,
                             Percent(counters_.FilesInfected, counters_.FilesScanned, 0));
    platform_.SetBarColor(Bar::File, kRed);
    platform_.RepaintNow(PaintTarget::FileBar);
  }
}

}  // namespace escaner
