// Escaner.exe's side of the platform seam: each operation is a few direct
// Win32 calls. Folders are opened and listed in folder_listing.cpp, files
// read in file_reading.cpp, the report kept in report_file.cpp, the folder
// dialog shown in folder_dialog.cpp, the rest in win32_platform.cpp.
//
// Every file-system call on a path the walk hands over (a folder to list, a
// file to read) uses the path's \\?\ form (verbatim_path.h), so each listed
// UTF-16 name is taken literally: no trailing dot or blank dropped, no device
// name recognised, no length limit.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "ui/progress_window.h"

namespace escaner::win32 {

class Win32Platform : public Platform {
 public:
  Win32Platform();
  // The strip paced by `stripClock` instead of the tick count (tests move
  // it by hand). `stripClock` must outlive this object.
  explicit Win32Platform(const ui::Clock& stripClock);
  ~Win32Platform() override;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  FolderHandle OpenFolder(const std::u16string& path) override;
  FolderId FolderIdentity(FolderHandle folder) override;
  bool FirstEntry(FolderHandle folder, DirEntry& entry) override;
  bool NextEntry(FolderHandle folder, DirEntry& entry) override;
  void CloseFolder(FolderHandle folder) override;

  FileHandle OpenForReading(const std::u16string& path) override;
  std::size_t Read(FileHandle file, void* buffer, std::size_t size) override;
  void Close(FileHandle file) override;

  void ClearAttributes(const std::u16string& path) override;
  void FindAndDelete(const std::u16string& path) override;
  FileHandle OpenForAppend(const std::u16string& path, bool& heldElsewhere) override;
  bool Write(FileHandle file, std::string_view bytes) override;

  std::string_view AnsiBytes(std::u16string_view text) override;

  std::optional<std::u16string> ModuleFolder() override;

  void ShowMessage(std::string_view text, std::string_view title) override;
  void ShellOpen(std::string_view operation, const std::u16string& file) override;
  void Pause(std::uint32_t milliseconds) override;

  std::optional<std::u16string> BrowseForFolder(std::string_view title) override;

  void ShowProgressWindow() override;
  void SetBarPosition(Bar bar, std::int32_t position) override;
  void SetBarColor(Bar bar, std::uint32_t color) override;
  void RepaintNow(PaintTarget target) override;
  void ShowNoActivate() override;
  void CloseProgressWindow() override;
  void StayResponsive() override;

 protected:
  // The one call that reads a folder's records by its handle
  // (GetFileInformationByHandleEx). Virtual only so that a test can play a
  // file system that refuses a class of records; nothing else overrides it.
  virtual BOOL ReadDirectoryRecords(HANDLE folder, FILE_INFO_BY_HANDLE_CLASS kind, void* buffer,
                                    DWORD size);

 private:
  // The progress strip: its window, the focus it hands back, its bars' state.
  ui::ProgressWindow progressWindow_;

  // How a folder is listed: by records with file IDs, by records without
  // (a file system that refuses the ID class), or by a search of its path
  // (one that refuses both).
  enum class ListingWay { IdRecords, FullRecords, Search };

  // One open folder: its handle, how it lists, and the buffer its listing is
  // read into, many entries a call. Kept when the folder is closed and
  // reused by the next one opened, so the walk allocates nothing per folder.
  struct FolderListing {
    HANDLE handle = INVALID_HANDLE_VALUE;     // INVALID_HANDLE_VALUE: free for reuse
    ListingWay way = ListingWay::IdRecords;   // kept for both listings once chosen
    std::unique_ptr<std::uint64_t[]> buffer;  // 8-byte aligned, as the records are
    const void* next = nullptr;               // a record in buffer; null when used up
    bool ended = false;                       // the system has no more entries
    std::wstring pattern;                     // the folder's \\?\ path and "*"
    HANDLE search = INVALID_HANDLE_VALUE;     // the search, for ListingWay::Search
    WIN32_FIND_DATAW found;                   // the search's latest entry
  };

  FolderListing* ListingOf(FolderHandle folder);
  bool ReadRecords(FolderListing& listing, bool fromTheStart);
  bool TakeEntry(FolderListing& listing, DirEntry& entry);
  bool StartSearch(FolderListing& listing, DirEntry& entry);

  std::vector<std::unique_ptr<FolderListing>> folders_;  // FolderHandle is the index
  // The \\?\ form of the folder or file being opened, kept from one to the
  // next so the scan's hot path allocates nothing per file.
  std::wstring verbatimPath_;
  // What AnsiBytes last returned.
  std::string ansiBytes_;
};

}  // namespace escaner::win32
