#include "platform/win32/win32_platform.h"

#include <shellapi.h>

#include "platform/win32/ansi_text.h"
#include "platform/win32/module_path.h"
#include "ui/progress_window.h"

namespace escaner::win32 {

Win32Platform::Win32Platform() { verbatimPath_.reserve(2 * MAX_PATH); }

Win32Platform::Win32Platform(const ui::Clock& stripClock) : progressWindow_(stripClock) {
  verbatimPath_.reserve(2 * MAX_PATH);
}

Win32Platform::~Win32Platform() {
  for (std::size_t slot = 0; slot < folders_.size(); ++slot) {
    Win32Platform::CloseFolder(static_cast<FolderHandle>(slot));
  }
}

std::string_view Win32Platform::AnsiBytes(std::u16string_view text) {
  AnsiWithoutBestFit(text, ansiBytes_);
  return ansiBytes_;
}

std::optional<std::u16string> Win32Platform::ModuleFolder() {
  const std::optional<std::wstring> folder = ExecutableFolder();
  if (!folder) return std::nullopt;
  return FromWide(*folder);
}

void Win32Platform::ShowMessage(std::string_view text, std::string_view title) {
  MessageBoxW(nullptr, AnsiToWide(text).c_str(), AnsiToWide(title).c_str(), MB_OK);
}

void Win32Platform::ShellOpen(std::string_view operation, const std::u16string& file) {
  // The shell gets the file's own UTF-16 path, so the report opens wherever
  // the executable lies, in a folder the code page cannot name as well.
  const std::wstring operationText = AnsiToWide(operation);
  const std::wstring fileText = ToWide(file);
  ShellExecuteW(nullptr, operationText.c_str(), fileText.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void Win32Platform::Pause(std::uint32_t milliseconds) { Sleep(milliseconds); }

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

void Win32Platform::StayResponsive() { progressWindow_.StayResponsive(); }

}  // namespace escaner::win32
