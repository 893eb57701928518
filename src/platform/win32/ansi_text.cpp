#include "platform/win32/ansi_text.h"

namespace escaner::win32 {

void AnsiToWide(std::string_view text, std::wstring& wide) {
  // A byte of the code page never becomes more than one UTF-16 unit, so the
  // text's length is room enough and one call converts it.
  wide.resize(text.size());
  if (text.empty()) return;
  const int length = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text.data(),
                                         static_cast<int>(text.size()), wide.data(),
                                         static_cast<int>(wide.size()));
  wide.resize(static_cast<std::size_t>(length > 0 ? length : 0));
}

std::wstring AnsiToWide(std::string_view text) {
  std::wstring wide;
  AnsiToWide(text, wide);
  return wide;
}

std::string WideToAnsi(std::wstring_view text) {
  if (text.empty()) return {};
  const int wideLength = static_cast<int>(text.size());
  const int length =
      WideCharToMultiByte(CP_ACP, 0, text.data(), wideLength, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), wideLength, narrow.data(), length, nullptr, nullptr);
  return narrow;
}

}  // namespace escaner::win32
