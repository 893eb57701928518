// Escaner.exe's side of the platform seam: each operation is a few direct
// Win32 calls. The file operations live in file_layer.cpp, the folder dialog
// in folder_dialog.cpp, the rest in win32_platform.cpp.
#pragma once

#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "ui/progress_window.h"

namespace escaner::win32 {

class Win32Platform : public Platform {
 public:
  Win32Platform();

  ListingHandle FindFirst(const std::string& pattern, DirEntry& entry) override;
  bool FindNext(ListingHandle listing, DirEntry& entry) override;
  void FindClose(ListingHandle listing) override;

  FileHandle OpenForReading(const std::string& path) override;
  std::uint64_t FileSize(FileHandle file) override;
  std::size_t Read(FileHandle file, void* buffer, std::size_t size) override;
  void Close(FileHandle file) override;

  void ClearAttributes(const std::u16string& path) override;
  void FindAndDelete(const std::u16string& path) override;
  FileHandle OpenForAppend(const std::u16string& path) override;
  bool Write(FileHandle file, std::string_view bytes) override;

  std::u16string ModuleFolder() override;

  void ShowMessage(std::string_view text, std::string_view title) override;
  void ShellOpen(std::string_view operation, const std::u16string& file) override;

  std::optional<std::string> BrowseForFolder(std::string_view title) override;

  void ShowProgressWindow() override;
  void ResetProgressBar(Bar bar) override;
  void SetBarPosition(Bar bar, std::int32_t position) override;
  void SetBarColor(Bar bar, std::uint32_t color) override;
  void RepaintNow(PaintTarget target) override;
  void ShowNoActivate() override;
  void CloseProgressWindow() override;

 private:
  // The progress strip: its window, the focus it hands back, its bars' state.
  ui::ProgressWindow progressWindow_;

 private:
  // The UTF-16 form of the file being opened for reading, kept from one file
  // to the next so the scan's hot path allocates nothing per file.
  std::wstring readPath_;
};

}  // namespace escaner::win32
