// Folders: one handle per folder gives its identity and serves both of its
// listings. The listing reads the folder's records from that handle
// (GetFileInformationByHandleEx, FileIdBothDirectoryInfo), a few hundred
// entries a call, instead of searching the folder by a pattern once per
// listing: the folder's path is resolved once, not three times. Directory
// searches run under the process's error mode.
#include <cstring>

#include "platform/win32/verbatim_path.h"
#include "platform/win32/win32_platform.h"

namespace escaner::win32 {
namespace {

// Room for several hundred records of ordinary names per call.
constexpr std::size_t kListingBufferBytes = 64 * 1024;

}  // namespace

Win32Platform::FolderListing* Win32Platform::ListingOf(FolderHandle folder) {
  if (folder < 0 || static_cast<std::size_t>(folder) >= folders_.size()) return nullptr;
  FolderListing* listing = folders_[static_cast<std::size_t>(folder)].get();
  return listing->handle == INVALID_HANDLE_VALUE ? nullptr : listing;
}

FolderHandle Win32Platform::OpenFolder(const std::u16string& path, FolderId& id) {
  id = FolderId{};
  if (!IsOpenablePath(path)) return kNoFolder;
  MakeVerbatimPath(path, verbatimPath_);
  // Listing and attribute rights only, all sharing, so a folder others hold
  // open still lists. BACKUP_SEMANTICS is what lets CreateFileW open a
  // folder; without OPEN_REPARSE_POINT a link is followed, so the identity
  // is that of the folder it leads to, which is what the cycle rule needs.
  const HANDLE handle =
      CreateFileW(verbatimPath_.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return kNoFolder;

  BY_HANDLE_FILE_INFORMATION information;
  if (GetFileInformationByHandle(handle, &information)) {
    if (!(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      CloseHandle(handle);  // a file: BACKUP_SEMANTICS opens those too
      return kNoFolder;
    }
    id.known = true;
    id.volume = information.dwVolumeSerialNumber;
    id.file = (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
  }

  std::size_t slot = 0;
  while (slot < folders_.size() && folders_[slot]->handle != INVALID_HANDLE_VALUE) ++slot;
  if (slot == folders_.size()) {
    auto listing = std::make_unique<FolderListing>();
    listing->buffer =
        std::make_unique<std::uint64_t[]>(kListingBufferBytes / sizeof(std::uint64_t));
    folders_.push_back(std::move(listing));
  }
  FolderListing& listing = *folders_[slot];
  listing.handle = handle;
  listing.next = nullptr;
  listing.ended = false;
  return static_cast<FolderHandle>(slot);
}

// Fills the buffer with the next records, or the first ones again.
bool Win32Platform::ReadEntries(FolderListing& listing, bool fromTheStart) {
  listing.next = nullptr;
  const FILE_INFO_BY_HANDLE_CLASS kind =
      fromTheStart ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo;
  // False at the end of the listing (ERROR_NO_MORE_FILES) and on any error.
  if (!GetFileInformationByHandleEx(listing.handle, kind, listing.buffer.get(),
                                    static_cast<DWORD>(kListingBufferBytes))) {
    listing.ended = true;
    return false;
  }
  listing.ended = false;
  listing.next = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(listing.buffer.get());
  return true;
}

bool Win32Platform::TakeEntry(FolderListing& listing, DirEntry& entry) {
  if (listing.next == nullptr && (listing.ended || !ReadEntries(listing, false))) return false;
  const FILE_ID_BOTH_DIR_INFO& record = *listing.next;
  entry.attributes = record.FileAttributes;
  // For a reparse point the record's EA size field holds its tag.
  entry.reparseTag = (record.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? record.EaSize : 0;
  // The name as listed, copied unit for unit into storage the entry keeps
  // from one entry to the next.
  const std::size_t units = record.FileNameLength / sizeof(WCHAR);
  entry.name.resize(units);
  std::memcpy(entry.name.data(), record.FileName, units * sizeof(WCHAR));
  listing.next = record.NextEntryOffset == 0
                     ? nullptr
                     : reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(
                           reinterpret_cast<const char*>(&record) + record.NextEntryOffset);
  return true;
}

bool Win32Platform::FirstEntry(FolderHandle folder, DirEntry& entry) {
  FolderListing* listing = ListingOf(folder);
  return listing != nullptr && ReadEntries(*listing, true) && TakeEntry(*listing, entry);
}

bool Win32Platform::NextEntry(FolderHandle folder, DirEntry& entry) {
  FolderListing* listing = ListingOf(folder);
  return listing != nullptr && TakeEntry(*listing, entry);
}

void Win32Platform::CloseFolder(FolderHandle folder) {
  FolderListing* listing = ListingOf(folder);
  if (listing == nullptr) return;
  CloseHandle(listing->handle);
  listing->handle = INVALID_HANDLE_VALUE;
  listing->next = nullptr;
}

}  // namespace escaner::win32
