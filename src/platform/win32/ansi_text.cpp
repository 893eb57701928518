#include "platform/win32/ansi_text.h"

#include <algorithm>

namespace escaner::win32 {

void AnsiToWide(std::string_view text, std::wstring& wide) {
  // A byte of the code page never becomes more than one UTF-16 unit, so the
  // text's length is room enough and one call converts it.
  wide.resize(text.size());
  if (text.empty()) return;
  const int length =
      MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text.data(), static_cast<int>(text.size()),
                          wide.data(), static_cast<int>(wide.size()));
  wide.resize(static_cast<std::size_t>(length > 0 ? length : 0));
}

std::wstring AnsiToWide(std::string_view text) {
  std::wstring wide;
  AnsiToWide(text, wide);
  return wide;
}

void AnsiWithoutBestFit(std::u16string_view text, std::string& ansi) {
  if (text.empty()) {
    ansi.clear();
    return;
  }
  // No code page takes more than three bytes for one UTF-16 unit, so one
  // call converts the whole text.
  ansi.resize(3 * text.size());
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int wideLength = static_cast<int>(text.size());
  const int room = static_cast<int>(ansi.size());
  // UTF-8 and UTF-7 hold every character and refuse both the flag and a
  // default character; a system whose ANSI code page is UTF-8 gets its bytes.
  const UINT codePage = GetACP();
  const bool unicodeCodePage = codePage == CP_UTF8 || codePage == CP_UTF7;
  const int length =
      WideCharToMultiByte(CP_ACP, unicodeCodePage ? 0 : WC_NO_BEST_FIT_CHARS, wide, wideLength,
                          ansi.data(), room, unicodeCodePage ? nullptr : "?", nullptr);
  if (length > 0) {
    ansi.resize(static_cast<std::size_t>(length));
    return;
  }
  // A code page that refuses the conversion: ASCII as it is, '?' for the
  // rest, which still never names another file.
  ansi.resize(text.size());
  std::transform(text.begin(), text.end(), ansi.begin(),
                 [](char16_t unit) { return unit < 0x80 ? static_cast<char>(unit) : '?'; });
}

}  // namespace escaner::win32
