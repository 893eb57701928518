// The keyboard set: the 117 byte values a typed one-line text is made of.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace escaner {

// Both strings hold the same 117 values; they differ only in the order of
// DC and FC. The test compares membership only. Read in Windows-1252 they are
//  >ª!"`+^*[]{}´ç¨Ç·$%&/().:=?¿|@#~'¡º\1234567890ÜüÁÉÍÓÚáéíóúQWERTYUIOPASDF
// GHJKLÑZXCVBNMqwertyuiopasdfghjklñzxcvbnm;,-_  (A; B has üÜ in place of Üü).
extern const std::string_view KeyboardCharsA;
extern const std::string_view KeyboardCharsB;

// Path separators: backslash and slash.
inline constexpr std::string_view kSeparators = "\\/";

// Per-byte classification, built once from KeyboardCharsA and kSeparators.
inline constexpr std::uint8_t kIsKeyboard = 1;
inline constexpr std::uint8_t kIsSeparator = 2;
using ByteClassTable = std::array<std::uint8_t, 256>;
const ByteClassTable& KeyboardClassTable();

}  // namespace escaner
