// A Win32 platform on a volume that refuses classes of directory records, as
// network redirectors, mapped drives and some SMB servers do. Wine answers
// every class on every file system, so the refusal is played by overriding
// the platform's one call that reads records; everything else is the
// platform class itself.
#pragma once

#include <windows.h>

#include <map>
#include <utility>

namespace escaner_test {

template <typename Platform>
class RefusingRecordClasses : public Platform {
 public:
  using Platform::Platform;

  // Every read of `kind` (its restarting form included) fails with `error`.
  void Refuse(FILE_INFO_BY_HANDLE_CLASS kind, DWORD error) { refused_[kind] = error; }
  // How many reads of `kind` the platform asked for, refused or not.
  int Asked(FILE_INFO_BY_HANDLE_CLASS kind) const {
    const auto found = asked_.find(kind);
    return found == asked_.end() ? 0 : found->second;
  }

 protected:
  BOOL ReadDirectoryRecords(HANDLE folder, FILE_INFO_BY_HANDLE_CLASS kind, void* buffer,
                            DWORD size) override {
    ++asked_[kind];
    const auto refused = refused_.find(Continued(kind));
    if (refused == refused_.end()) {
      return Platform::ReadDirectoryRecords(folder, kind, buffer, size);
    }
    SetLastError(refused->second);
    return FALSE;
  }

 private:
  static FILE_INFO_BY_HANDLE_CLASS Continued(FILE_INFO_BY_HANDLE_CLASS kind) {
    if (kind == FileIdBothDirectoryRestartInfo) return FileIdBothDirectoryInfo;
    if (kind == FileFullDirectoryRestartInfo) return FileFullDirectoryInfo;
    return kind;
  }

  std::map<FILE_INFO_BY_HANDLE_CLASS, DWORD> refused_;
  std::map<FILE_INFO_BY_HANDLE_CLASS, int> asked_;
};

}  // namespace escaner_test
