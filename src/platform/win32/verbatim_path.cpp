#include "platform/win32/verbatim_path.h"

#include <windows.h>

namespace escaner::win32 {
namespace {

enum class PathKind { DriveAbsolute, Network, Other };

template <typename Char>
PathKind KindOf(std::basic_string_view<Char> path) {
  const auto isLetter = [](Char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (path.size() >= 3 && isLetter(path[0]) && path[1] == ':' && path[2] == '\\') {
    return PathKind::DriveAbsolute;
  }
  // \\server\share, but not \\?\ (already literal) nor \\.\ (a device).
  const bool twoBackslashes = path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
  const bool literalOrDevice =
      path.size() >= 4 && (path[2] == '?' || path[2] == '.') && path[3] == '\\';
  if (twoBackslashes && !literalOrDevice) return PathKind::Network;
  return PathKind::Other;
}

constexpr std::wstring_view kDrivePrefix = L"\\\\?\\";
constexpr std::wstring_view kNetworkPrefix = L"\\\\?\\UNC";  // replaces the first backslash

}  // namespace

void MakeVerbatimPath(std::u16string_view path, std::wstring& verbatim) {
  verbatim.clear();
  switch (KindOf(path)) {
    case PathKind::DriveAbsolute:
      verbatim += kDrivePrefix;
      break;
    case PathKind::Network:
      verbatim += kNetworkPrefix;
      path.remove_prefix(1);
      break;
    case PathKind::Other:
      break;
  }
  for (const char16_t unit : path) verbatim += static_cast<wchar_t>(unit);
}

void UseLongPathForm(std::wstring& path) {
  if (path.size() < MAX_PATH) return;
  switch (KindOf(std::wstring_view(path))) {
    case PathKind::DriveAbsolute:
      path.insert(0, kDrivePrefix);
      break;
    case PathKind::Network:
      path.replace(0, 1, kNetworkPrefix);
      break;
    case PathKind::Other:
      break;
  }
}

}  // namespace escaner::win32
