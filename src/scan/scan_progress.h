// What the scanning pass shows on the strip for one file: OverallBar at the
// share of files reached and FileBar gold when the file is reached, the whole
// strip repainted as its test begins, then FileBar falling from 100 towards 0
// in orange over the bytes examined, and red at the share flagged so far when
// a byte outside the keyboard set stops it.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "scan/scan_counters.h"

namespace escaner {

// (100 * part) / whole with truncation toward zero, formed in 64 bits and
// held within the 32-bit range; `whenEmpty` when whole is 0.
std::int32_t Percent(std::int64_t part, std::int32_t whole, std::int32_t whenEmpty);

class ScanProgress {
 public:
  // Reads the counters as they stand at each call; changes none of them.
  ScanProgress(Platform& platform, const ScanCounters& counters);

  // The scanning pass reached a file (FilesDone already counts it).
  void FileReached();
  // A file's test begins: the whole strip repainted and shown, not activated.
  void TestStarted();
  // A file of `length` bytes (at least 2) was examined and its bytes passed
  // up to `stopIndex` (`length` when all of them passed).
  void FileExamined(std::uint64_t length, std::uint64_t stopIndex);

 private:
  Platform& platform_;
  const ScanCounters& counters_;
};

}  // namespace escaner
