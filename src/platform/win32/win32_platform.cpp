#include "platform/win32/win32_platform.h"

#include <shellapi.h>

#include "platform/win32/ansi_text.h"
#include "ui/progress_window.h"

namespace escaner::win32 {

Win32Platform::Win32Platform() { verbatimPath_.reserve(2 * MAX_PATH); }

Win32Platform::~Win32Platform() {
  for (const auto& listing : folders_) {
    if (listing->handle != INVALID_HANDLE_VALUE) CloseHandle(listing->handle);
  }
}

std::string_view Win32Platform::AnsiBytes(std::u16string_view text) {
  AnsiWithoutBestFit(text, ansiBytes_);
  return ansiBytes_;
}

std::u16string Win32Platform::ModuleFolder() {
  // A buffer of 264 characters of which 260 are offered; the folder is what
  // comes before the last backslash, the backslash included.
  wchar_t path[264] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::wstring_view whole(path, length);
  const std::size_t lastBackslash = whole.rfind(L'\\');
  if (lastBackslash == std::wstring_view::npos) return {};
  return FromWide(whole.substr(0, lastBackslash + 1));
}

void Win32Platform::ShowMessage(std::string_view text, std::string_view title) {
  MessageBoxW(nullptr, AnsiToWide(text).c_str(), AnsiToWide(title).c_str(), MB_OK);
}

void Win32Platform::ShellOpen(std::string_view operation, const std::u16string& file) {
  // The shell gets the narrow path, made with no best fit: a folder name the
  // code page cannot hold comes out with '?', so the request fails, silently,
  // instead of opening a look-alike folder's Malware.txt.
  const std::string operationText(operation);
  const std::string fileText(AnsiBytes(file));
  ShellExecuteA(nullptr, operationText.c_str(), fileText.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void Win32Platform::ShowProgressWindow() { progressWindow_.ShowProgressWindow(nullptr); }

void Win32Platform::SetBarPosition(Bar bar, std::int32_t position) {
  progressWindow_.SetBarPosition(bar, position);
}

void Win32Platform::SetBarColor(Bar bar, std::uint32_t color) {
  progressWindow_.SetBarColor(bar, color);
}

void Win32Platform::RepaintNow(PaintTarget target) { progressWindow_.RepaintNow(target); }

void Win32Platform::ShowNoActivate() { progressWindow_.ShowNoActivate(); }

void Win32Platform::CloseProgressWindow() { progressWindow_.CloseProgressWindow(); }

}  // namespace escaner::win32
