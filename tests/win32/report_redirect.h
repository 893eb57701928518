// The real Win32 platform with its report kept in a folder of the test's
// choosing: ModuleFolder, the seam's one way to learn where the executable
// lies, is overridden, and Pause only counts, so no test waits on the clock;
// everything else is the platform class itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "platform/win32/win32_platform.h"

namespace escaner_test {

class PlatformWithReportIn : public escaner::win32::Win32Platform {
 public:
  explicit PlatformWithReportIn(const std::wstring& folder)
      : folder_(std::u16string(folder.begin(), folder.end())) {}
  explicit PlatformWithReportIn(std::optional<std::u16string> folder)
      : folder_(std::move(folder)) {}
  std::optional<std::u16string> ModuleFolder() override { return folder_; }
  void Pause(std::uint32_t milliseconds) override { pausedMs += milliseconds; }

  std::uint64_t pausedMs = 0;

 private:
  std::optional<std::u16string> folder_;
};

}  // namespace escaner_test
