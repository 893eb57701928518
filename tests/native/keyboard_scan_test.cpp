#include "scan/keyboard_scan.h"

#include <gtest/gtest.h>

#include <array>
#include <ostream>
#include <string>

#include "scan/keyboard_set.h"

namespace escaner {

namespace keyboard_scan_detail {
// GoogleTest names the path in test names and failures.
void PrintTo(ScanPath path, std::ostream* out) { *out << ScanPathName(path); }
}  // namespace keyboard_scan_detail

namespace {

using keyboard_scan_detail::kAllScanPaths;
using keyboard_scan_detail::ProcessorRuns;
using keyboard_scan_detail::ScanKeyboardBytesWith;
using keyboard_scan_detail::ScanPath;
using keyboard_scan_detail::ScanPathName;

// The rule itself, one byte at a time, with membership read from the set's
// own string (not from the classification table the paths share).
std::size_t ByteByByte(const std::string& bytes, bool& separator) {
  static const std::array<bool, 256> inSet = [] {
    std::array<bool, 256> members{};
    for (const char c : KeyboardCharsA) members[static_cast<unsigned char>(c)] = true;
    return members;
  }();
  std::size_t i = 0;
  for (; i < bytes.size() && inSet[static_cast<unsigned char>(bytes[i])]; ++i) {
    if (bytes[i] == '/' || bytes[i] == '\\') separator = true;
  }
  return i;
}

class ScanPathTest : public testing::TestWithParam<ScanPath> {
 protected:
  void SetUp() override {
    if (!ProcessorRuns(GetParam())) {
      GTEST_SKIP() << "this processor has no " << ScanPathName(GetParam());
    }
  }

  std::size_t Scan(const std::string& bytes, bool& separator) const {
    return ScanKeyboardBytesWith(GetParam(), reinterpret_cast<const unsigned char*>(bytes.data()),
                                 bytes.size(), separator);
  }
};

// Every byte value at every position of buffers that end on either side of
// the wide paths' 16-, 32- and 64-byte blocks, with a separator nowhere, at
// the first byte (before the stop, blocks earlier when the stop is far) and at
// the last byte (after the stop, in its block or a later one).
TEST_P(ScanPathTest, StopsAtTheFirstOutsiderAndSeesSeparatorsOnlyBeforeIt) {
  enum class Separator { kNone, kFirst, kLast };
  for (const std::size_t length :
       {1u, 15u, 16u, 17u, 31u, 32u, 33u, 63u, 64u, 65u, 95u, 127u, 128u, 129u}) {
    for (const Separator separatorAt : {Separator::kNone, Separator::kFirst, Separator::kLast}) {
      std::string bytes(length, 'k');
      if (separatorAt == Separator::kFirst) bytes.front() = '\\';
      if (separatorAt == Separator::kLast) bytes.back() = '/';
      for (std::size_t position = 0; position < length; ++position) {
        const char kept = bytes[position];
        for (int value = 0; value < 256; ++value) {
          bytes[position] = static_cast<char>(value);
          bool expectedSeparator = false, actualSeparator = false;
          const std::size_t expected = ByteByByte(bytes, expectedSeparator);
          const std::size_t actual = Scan(bytes, actualSeparator);
          ASSERT_EQ(actual, expected) << "length " << length << ", byte " << value << " at "
                                      << position << ", separator " << int(separatorAt);
          ASSERT_EQ(actualSeparator, expectedSeparator)
              << "length " << length << ", byte " << value << " at " << position << ", separator "
              << int(separatorAt);
        }
        bytes[position] = kept;
      }
    }
  }
}

// A caller carries the flag across the chunks of one file: a chunk without a
// separator, or with one only after its stop, leaves a set flag set.
TEST_P(ScanPathTest, NeverClearsTheSeparatorFlag) {
  struct Case {
    const char* name;
    std::string bytes;
    std::size_t stop;
  };
  const Case cases[] = {
      {"empty", "", 0},
      {"keyboard text without separator", std::string(200, 'x'), 200},
      {"outsider first, separator after it", "\n" + std::string(100, '/'), 0},
      {"separator after a stop far in", std::string(150, 'x') + "<" + std::string(40, '\\'), 150},
  };
  for (const Case& c : cases) {
    bool separator = true;
    EXPECT_EQ(Scan(c.bytes, separator), c.stop) << c.name;
    EXPECT_TRUE(separator) << c.name;
  }
}

// A long text of the whole set in a shifting order, with one outsider far in
// and separators spread before it: the paths agree with the rule across many
// blocks, from every starting alignment of the buffer.
TEST_P(ScanPathTest, AgreesWithTheRuleOnLongTextsAtEveryAlignment) {
  std::string text;
  for (std::size_t i = 0; text.size() < 5000; ++i) {
    text += KeyboardCharsA[(i * 37) % KeyboardCharsA.size()];
  }
  for (const char outsider : {'\t', '<', '\x7F', '\xE4', '\0'}) {
    for (const std::size_t at : {std::size_t{0}, std::size_t{999}, std::size_t{4096}}) {
      std::string bytes = text;
      bytes[at] = outsider;
      for (std::size_t offset = 0; offset < 64; ++offset) {
        const std::string shifted = bytes.substr(offset);
        bool expectedSeparator = false, actualSeparator = false;
        const std::size_t expected = ByteByByte(shifted, expectedSeparator);
        ASSERT_EQ(Scan(shifted, actualSeparator), expected)
            << "outsider " << int(outsider) << " at " << at << ", offset " << offset;
        ASSERT_EQ(actualSeparator, expectedSeparator)
            << "outsider " << int(outsider) << " at " << at << ", offset " << offset;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EachPath, ScanPathTest, testing::ValuesIn(kAllScanPaths),
                         [](const testing::TestParamInfo<ScanPath>& path) {
                           return std::string(ScanPathName(path.param));
                         });

// The product takes the widest path this processor runs: a wrong choice is
// correct but slow, which no other test would notice.
TEST(ScanKeyboardBytes, TakesTheWidestPathTheProcessorRuns) {
  ScanPath widest = ScanPath::kTable;
  for (const ScanPath path : kAllScanPaths) {
    if (ProcessorRuns(path)) widest = path;
  }
  EXPECT_EQ(ScanPathName(keyboard_scan_detail::ChosenScanPath()),
            std::string(ScanPathName(widest)));
}

}  // namespace
}  // namespace escaner
