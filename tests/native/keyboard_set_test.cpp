#include "scan/keyboard_set.h"

#include <gtest/gtest.h>

#include <set>

namespace escaner {
namespace {

// The set as described in words: 20..7E without '<', and 23 letters and
// signs above 7F.
std::set<unsigned char> DescribedSet() {
  std::set<unsigned char> set;
  for (int c = 0x20; c <= 0x7E; ++c) {
    if (c != 0x3C) set.insert(static_cast<unsigned char>(c));
  }
  for (int c : {0xA1, 0xA8, 0xAA, 0xB4, 0xB7, 0xBA, 0xBF, 0xC1, 0xC7, 0xC9, 0xCD, 0xD1,
                0xD3, 0xDA, 0xDC, 0xE1, 0xE7, 0xE9, 0xED, 0xF1, 0xF3, 0xFA, 0xFC}) {
    set.insert(static_cast<unsigned char>(c));
  }
  return set;
}

std::set<unsigned char> AsSet(std::string_view bytes) {
  std::set<unsigned char> set;
  for (char c : bytes) set.insert(static_cast<unsigned char>(c));
  return set;
}

TEST(KeyboardSet, BothStringsHoldExactlyTheDescribed117DistinctValues) {
  const std::set<unsigned char> described = DescribedSet();
  ASSERT_EQ(described.size(), 117u);
  for (std::string_view chars : {KeyboardCharsA, KeyboardCharsB}) {
    EXPECT_EQ(chars.size(), 117u);
    EXPECT_EQ(AsSet(chars), described);
  }
}

TEST(KeyboardSet, StringsDifferOnlyByTheSwappedDiaeresisPair) {
  for (std::size_t i = 0; i < KeyboardCharsA.size(); ++i) {
    if (i == 47 || i == 48) continue;
    EXPECT_EQ(KeyboardCharsA[i], KeyboardCharsB[i]) << "position " << i + 1;
  }
  EXPECT_EQ(static_cast<unsigned char>(KeyboardCharsA[47]), 0xDC);
  EXPECT_EQ(static_cast<unsigned char>(KeyboardCharsA[48]), 0xFC);
  EXPECT_EQ(static_cast<unsigned char>(KeyboardCharsB[47]), 0xFC);
  EXPECT_EQ(static_cast<unsigned char>(KeyboardCharsB[48]), 0xDC);
}

TEST(KeyboardSet, ClassTableAgreesWithTheSetAndMarksOnlyTheTwoSeparators) {
  const std::set<unsigned char> described = DescribedSet();
  const ByteClassTable& table = KeyboardClassTable();
  for (int c = 0; c < 256; ++c) {
    const auto byte = static_cast<unsigned char>(c);
    EXPECT_EQ((table[byte] & kIsKeyboard) != 0, described.count(byte) == 1) << std::hex << c;
    EXPECT_EQ((table[byte] & kIsSeparator) != 0, c == 0x5C || c == 0x2F) << std::hex << c;
  }
}

}  // namespace
}  // namespace escaner
