// Folders: one handle per folder serves both of its listings. The listing
// reads the folder's records from that handle (GetFileInformationByHandleEx),
// a few hundred entries a call, instead of searching the folder by a pattern
// once per listing: the folder's path is resolved once, not three times.
// The records of the ID class carry each entry's file ID, from which the
// walk knows a subfolder's identity without asking the folder itself (under
// Wine each such question goes to another process). Volumes that refuse that
// class (network redirectors, some SMB servers) are listed by the class
// without IDs, and where that is refused too by a search of the folder's
// path. Every way gives each file's length, so no opened file is asked for
// its size (under Wine one more round trip per file). Directory searches run
// under the process's error mode.
#include <cstring>
#include <type_traits>

#include "platform/win32/verbatim_path.h"
#include "platform/win32/win32_platform.h"

namespace escaner::win32 {
namespace {

// Room for several hundred records of ordinary names per call.
constexpr std::size_t kListingBufferBytes = 64 * 1024;

// The answers of a file system that does not list by a class of records at
// all, as opposed to one that cannot list this folder now.
bool RefusesRecordClass(DWORD error) {
  return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED ||
         error == ERROR_INVALID_FUNCTION;
}

// Fills `entry` from the record at `at`; returns the next record, or null
// after the last one the buffer holds.
template <typename Record>
const void* TakeRecord(const void* at, DirEntry& entry) {
  const Record& record = *static_cast<const Record*>(at);
  entry.attributes = record.FileAttributes;
  // For a reparse point the record's EA size field holds its tag.
  entry.reparseTag = (record.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? record.EaSize : 0;
  if constexpr (std::is_same_v<Record, FILE_ID_BOTH_DIR_INFO>) {
    entry.fileId = static_cast<std::uint64_t>(record.FileId.QuadPart);
  } else {
    entry.fileId.reset();
  }
  entry.length = static_cast<std::uint64_t>(record.EndOfFile.QuadPart);
  // The name as listed, copied unit for unit into storage the entry keeps
  // from one entry to the next.
  const std::size_t units = record.FileNameLength / sizeof(WCHAR);
  entry.name.resize(units);
  std::memcpy(entry.name.data(), record.FileName, units * sizeof(WCHAR));
  return record.NextEntryOffset == 0 ? nullptr
                                     : static_cast<const char*>(at) + record.NextEntryOffset;
}

void TakeFound(const WIN32_FIND_DATAW& found, DirEntry& entry) {
  entry.attributes = found.dwFileAttributes;
  entry.reparseTag =
      (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? found.dwReserved0 : 0;
  entry.fileId.reset();
  entry.length = (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
  const std::size_t units = wcsnlen(found.cFileName, MAX_PATH);
  entry.name.resize(units);
  std::memcpy(entry.name.data(), found.cFileName, units * sizeof(WCHAR));
}

}  // namespace

BOOL Win32Platform::ReadDirectoryRecords(HANDLE folder, FILE_INFO_BY_HANDLE_CLASS kind,
                                         void* buffer, DWORD size) {
  return GetFileInformationByHandleEx(folder, kind, buffer, size);
}

Win32Platform::FolderListing* Win32Platform::ListingOf(FolderHandle folder) {
  if (folder < 0 || static_cast<std::size_t>(folder) >= folders_.size()) return nullptr;
  FolderListing* listing = folders_[static_cast<std::size_t>(folder)].get();
  return listing->handle == INVALID_HANDLE_VALUE ? nullptr : listing;
}

FolderHandle Win32Platform::OpenFolder(const std::u16string& path) {
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
  // BACKUP_SEMANTICS opens files too. The basic class is answered from the
  // file itself, without the volume query an identity costs.
  FILE_BASIC_INFO basic;
  if (GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) &&
      !(basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(handle);
    return kNoFolder;
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
  listing.way = ListingWay::IdRecords;
  listing.next = nullptr;
  listing.ended = false;
  // Kept for a search, should the volume refuse both classes of records.
  listing.pattern.assign(verbatimPath_);
  listing.pattern += L'*';
  return static_cast<FolderHandle>(slot);
}

FolderId Win32Platform::FolderIdentity(FolderHandle folder) {
  FolderListing* listing = ListingOf(folder);
  BY_HANDLE_FILE_INFORMATION information;
  if (listing == nullptr || !GetFileInformationByHandle(listing->handle, &information)) return {};
  return FolderId{true, information.dwVolumeSerialNumber,
                  (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
}

// Fills the buffer with the next records, or the first ones again, of the
// folder's class. False at the end of the listing (ERROR_NO_MORE_FILES) and
// on any error, with the system's error code kept.
bool Win32Platform::ReadRecords(FolderListing& listing, bool fromTheStart) {
  listing.next = nullptr;
  const bool withIds = listing.way == ListingWay::IdRecords;
  const FILE_INFO_BY_HANDLE_CLASS kind =
      withIds ? (fromTheStart ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo)
              : (fromTheStart ? FileFullDirectoryRestartInfo : FileFullDirectoryInfo);
  if (!ReadDirectoryRecords(listing.handle, kind, listing.buffer.get(),
                            static_cast<DWORD>(kListingBufferBytes))) {
    listing.ended = true;
    return false;
  }
  listing.ended = false;
  listing.next = listing.buffer.get();
  return true;
}

// The search's first entry, from the start again when it already ran.
bool Win32Platform::StartSearch(FolderListing& listing, DirEntry& entry) {
  if (listing.search != INVALID_HANDLE_VALUE) FindClose(listing.search);
  listing.search = FindFirstFileExW(listing.pattern.c_str(), FindExInfoBasic, &listing.found,
                                    FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  // Vista knows neither the basic level nor the large fetch.
  if (listing.search == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER) {
    listing.search = FindFirstFileExW(listing.pattern.c_str(), FindExInfoStandard, &listing.found,
                                      FindExSearchNameMatch, nullptr, 0);
  }
  listing.ended = listing.search == INVALID_HANDLE_VALUE;
  if (listing.ended) return false;
  TakeFound(listing.found, entry);
  return true;
}

bool Win32Platform::TakeEntry(FolderListing& listing, DirEntry& entry) {
  if (listing.way == ListingWay::Search) {
    if (listing.ended || !FindNextFileW(listing.search, &listing.found)) {
      listing.ended = true;
      return false;
    }
    TakeFound(listing.found, entry);
    return true;
  }
  if (listing.next == nullptr && (listing.ended || !ReadRecords(listing, false))) return false;
  listing.next = listing.way == ListingWay::IdRecords
                     ? TakeRecord<FILE_ID_BOTH_DIR_INFO>(listing.next, entry)
                     : TakeRecord<FILE_FULL_DIR_INFO>(listing.next, entry);
  return true;
}

// A volume that refuses a class refuses it for every folder and every
// listing: the way found for the first listing serves the second too.
bool Win32Platform::FirstEntry(FolderHandle folder, DirEntry& entry) {
  FolderListing* listing = ListingOf(folder);
  if (listing == nullptr) return false;
  while (listing->way != ListingWay::Search) {
    if (ReadRecords(*listing, true)) return TakeEntry(*listing, entry);
    if (!RefusesRecordClass(GetLastError())) return false;
    listing->way =
        listing->way == ListingWay::IdRecords ? ListingWay::FullRecords : ListingWay::Search;
  }
  return StartSearch(*listing, entry);
}

bool Win32Platform::NextEntry(FolderHandle folder, DirEntry& entry) {
  FolderListing* listing = ListingOf(folder);
  return listing != nullptr && TakeEntry(*listing, entry);
}

void Win32Platform::CloseFolder(FolderHandle folder) {
  FolderListing* listing = ListingOf(folder);
  if (listing == nullptr) return;
  if (listing->search != INVALID_HANDLE_VALUE) FindClose(listing->search);
  listing->search = INVALID_HANDLE_VALUE;
  CloseHandle(listing->handle);
  listing->handle = INVALID_HANDLE_VALUE;
  listing->next = nullptr;
}

}  // namespace escaner::win32
