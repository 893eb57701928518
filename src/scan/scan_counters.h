// The session's counters, owned by the session and shared with the walk.
#pragma once

#include <cstdint>

namespace escaner {

struct ScanCounters {
  std::int32_t FilesScanned = 0;   // files found by the counting pass
  std::int32_t FilesInfected = 0;  // files flagged by the content test
  std::int32_t FilesDone = 0;      // files reached by the scanning pass
};

// (100 * part) / whole with truncation toward zero, formed in 64 bits and
// held within the 32-bit range; `whenEmpty` when whole is 0.
std::int32_t Percent(std::int64_t part, std::int32_t whole, std::int32_t whenEmpty);

}  // namespace escaner
