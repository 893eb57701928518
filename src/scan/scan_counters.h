// The session's counters, owned by the session and shared with the walk.
#pragma once

#include <cstdint>

namespace escaner {

struct ScanCounters {
  std::int32_t FilesScanned = 0;   // files found by the counting pass
  std::int32_t FilesInfected = 0;  // files flagged by the content test
  std::int32_t FilesDone = 0;      // files reached by the scanning pass
};

}  // namespace escaner
