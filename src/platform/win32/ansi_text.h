// Text conversions between the ANSI code page and UTF-16.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace escaner::win32 {

// `text` read in the ANSI code page (CP_ACP, MB_PRECOMPOSED), into `wide`.
// Reuses the storage `wide` already has.
void AnsiToWide(std::string_view text, std::wstring& wide);
std::wstring AnsiToWide(std::string_view text);

// UTF-16 to the ANSI code page with no best fit (WC_NO_BEST_FIT_CHARS): the
// exact bytes where the code page holds every character, '?' for each one it
// lacks, never a look-alike ("Ā" stays '?', not "A"). Into `ansi`, reusing
// its storage.
void AnsiWithoutBestFit(std::u16string_view text, std::string& ansi);

// The seam's UTF-16 strings as the platform's wide strings (both are 16-bit
// units on Windows).
inline std::wstring ToWide(std::u16string_view text) { return {text.begin(), text.end()}; }
inline std::u16string FromWide(std::wstring_view text) { return {text.begin(), text.end()}; }

}  // namespace escaner::win32
