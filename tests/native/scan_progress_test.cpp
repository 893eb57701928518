#include "scan/scan_progress.h"

#include <gtest/gtest.h>

#include <limits>

namespace escaner {
namespace {

TEST(Percent, TruncatesTowardZeroInSixtyFourBitsAndNeverDividesByZero) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  struct Case {
    std::int64_t part;
    std::int32_t whole;
    std::int32_t whenEmpty;
    std::int32_t expected;
  };
  const Case cases[] = {
      {1, 3, 0, 33},        {2, 3, 0, 66},      {3, 3, 0, 100},
      {1, 7, 0, 14},        {6, 7, 0, 85},      {5, 4, 0, 125},  // files appeared after the count
      {kMax, kMax, 0, 100}, {kMax, 1, 0, kMax},                  // 100 x part exceeds 32 bits
      {-1, 3, 0, -33},      {0, 0, 100, 100},   {7, 0, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Percent(c.part, c.whole, c.whenEmpty), c.expected) << c.part << "/" << c.whole;
  }
}

}  // namespace
}  // namespace escaner
