#include "scan/keyboard_scan.h"

#include <gtest/gtest.h>

#include <string>

#include "scan/keyboard_set.h"

namespace escaner {
namespace {

// ScanKeyboardBytes against a byte-at-a-time reading of the set: every byte
// value at every position of buffers long enough for the wide paths, on
// either side of their block edges.
TEST(ScanKeyboardBytes, StopsAtTheFirstOutsiderAndSeesSeparatorsBeforeIt) {
  const auto reference = [](const std::string& bytes, bool& separator) {
    std::size_t i = 0;
    for (; i < bytes.size() && KeyboardCharsA.find(bytes[i]) != std::string_view::npos; ++i) {
      if (bytes[i] == '/' || bytes[i] == '\\') separator = true;
    }
    return i;
  };
  for (std::size_t length :
       {std::size_t{1}, std::size_t{15}, std::size_t{16}, std::size_t{17}, std::size_t{47}}) {
    for (std::size_t position = 0; position < length; ++position) {
      for (int value = 0; value < 256; ++value) {
        std::string bytes(length, 'k');
        bytes[position] = static_cast<char>(value);
        if (position + 1 < length) bytes[length - 1] = '/';  // a separator after it
        bool expectedSeparator = false, actualSeparator = false;
        const std::size_t expected = reference(bytes, expectedSeparator);
        const std::size_t actual = ScanKeyboardBytes(
            reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), actualSeparator);
        ASSERT_EQ(actual, expected) << length << " " << position << " " << value;
        ASSERT_EQ(actualSeparator, expectedSeparator) << length << " " << position << " " << value;
      }
    }
  }
}

}  // namespace
}  // namespace escaner
