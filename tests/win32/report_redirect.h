// The real Win32 platform with its report kept in a folder of the test's
// choosing: ModuleFolder, the seam's one way to learn where the executable
// lies, is overridden; everything else is the platform class itself.
#pragma once

#include <string>

#include "platform/win32/win32_platform.h"

namespace escaner_test {

class PlatformWithReportIn : public escaner::win32::Win32Platform {
 public:
  explicit PlatformWithReportIn(const std::wstring& folder)
      : folder_(folder.begin(), folder.end()) {}
  std::u16string ModuleFolder() override { return folder_; }

 private:
  std::u16string folder_;
};

}  // namespace escaner_test
