#include "scan/scan_counters.h"

#include <algorithm>
#include <limits>

namespace escaner {

std::int32_t Percent(std::int64_t part, std::int32_t whole, std::int32_t whenEmpty) {
  if (whole == 0) return whenEmpty;
  const std::int64_t value = (100 * part) / whole;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace escaner
