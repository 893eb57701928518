// An in-memory platform for the native tests: a folder tree with UTF-16
// names and the listing semantics the walk relies on, folder identities that
// links can share, failures injectable per path, and a recorder of every seam
// call with its arguments, in order.
//
// Tests speak UTF-8: every path given to or recorded by the fake is UTF-8
// text, held as UTF-16 behind the seam exactly as a volume would list it.
#pragma once

#include <functional>
#include <map>
#include <unordered_map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace escaner_test {

using escaner::Bar;
using escaner::DirEntry;
using escaner::FileHandle;
using escaner::FolderHandle;
using escaner::FolderId;
using escaner::PaintTarget;
using escaner::Platform;

class FakePlatform : public Platform {
 public:
  FakePlatform();

  // --- The tree. Paths are Windows-style ("T:\\data\\a.txt"); a drive root
  // such as "T:\\" always exists. Parents are made as needed.
  void AddFolder(const std::string& path, std::uint32_t attributes = 0,
                 std::uint32_t reparseTag = 0);
  // A folder entry that leads to the folder `target`, with whatever
  // attributes and tag are given: its listing is the target's and so is its
  // identity by handle. Its record lists the target's file ID when it is a
  // plain folder (a link as a share shows it), its own when it carries the
  // reparse bit (as NTFS lists a reparse point).
  void AddFolderLink(const std::string& path, const std::string& target,
                     std::uint32_t attributes = 0, std::uint32_t reparseTag = 0);
  void AddFile(const std::string& path, std::string content, std::uint32_t attributes = 0);
  // A file whose length is `length` while its bytes repeat `pattern`.
  void AddRepeatingFile(const std::string& path, std::string pattern, std::uint64_t length);
  void Remove(const std::string& path);
  bool Exists(const std::string& path) const;
  std::string Content(const std::string& path) const;
  std::uint32_t Attributes(const std::string& path) const;

  // --- Failures.
  enum class Listing { First, Second, Both };  // a folder's first or second listing
  void FailListing(const std::string& folder, Listing which = Listing::Both);
  void FailOpen(const std::string& path);          // a file or a folder that cannot be opened
  void ForgetIdentity(const std::string& folder);  // its handle cannot tell its identity
  // The file ID that the entry at `path` shows in its parent's listing.
  void ListFileIdAs(const std::string& path, std::uint64_t fileId);
  // The folders at or below `folder` list their entries without file IDs, as
  // a file system that refuses the listing class carrying them.
  void ListWithoutFileIds(const std::string& folder);
  // The file ID its parent's listing gives the entry at `path`.
  std::uint64_t ListedFileId(const std::string& path) const;
  // A file's listed length is its content's length, unless set here: a
  // listing that lags behind the file or reports a length of its own.
  void ListLengthAs(const std::string& path, std::uint64_t length);
  // The length its parent's listing gives the entry at `path` (0 for none).
  std::uint64_t ListedLength(const std::string& path) const;
  // Reads of `path` deliver bytes only up to `limit` (0: every read fails).
  void LimitReads(const std::string& path, std::uint64_t limit);
  void LockForAppend(const std::string& path);  // held open elsewhere, without sharing
  void UnlockForAppend(const std::string& path);
  void FailWrites(const std::string& path);

  // --- What the dialog and the module give.
  std::optional<std::u16string> browseResult;
  std::optional<std::u16string> moduleFolder = u"C:\\Prog\\";  // nothing: cannot be had

  // Runs before each seam call is recorded, with the call's record, so a
  // test can change the tree between the passes.
  std::function<void(const std::string& call)> beforeEachCall;

  // --- The recorder. With `recording` off, calls are counted, not kept
  // (a 16,000-level walk would keep half a gigabyte of paths).
  std::vector<std::string> calls;
  bool recording = true;
  std::size_t foldersOpened = 0;
  // The recorded calls that start with one of `prefixes`.
  std::vector<std::string> CallsStartingWith(std::initializer_list<std::string> prefixes) const;
  // StayResponsive is always counted, but kept among the calls (and shown to
  // beforeEachCall) only with `recordStayResponsive` on: the scan passes
  // through it at every entry, and most tests compare exact call lists.
  bool recordStayResponsive = false;
  std::size_t stayResponsiveCount = 0;
  int openFileCount() const { return static_cast<int>(openFiles_.size()); }
  int openFolderCount() const { return static_cast<int>(openFolders_.size()); }
  int mostFoldersOpenAtOnce() const { return mostFoldersOpen_; }

  // --- Platform.
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

 private:
  struct Node {
    std::uint32_t attributes = 0;
    std::uint32_t reparseTag = 0;
    std::string content;
    std::uint64_t length = 0;               // > content.size() for a repeating file
    std::vector<std::string> children;      // names, in creation order
    std::vector<Node*> childNodes;          // alongside: deep trees list without path look-ups
    std::uint64_t serial = 0;               // the folder's file ID
    std::string linkTarget;                 // a folder link's target, resolved
    std::optional<std::uint64_t> listedId;  // what its record shows, when set
    // The length its record shows, when set.
    std::optional<std::uint64_t> listedLength;
  };
  struct OpenFile {
    std::string path;
    std::uint64_t offset = 0;
  };
  struct OpenFolderState {
    std::string path;   // resolved, without trailing backslash
    std::string asked;  // as opened, for failures keyed by the walked path
    Node* node = nullptr;
    bool listsFileIds = true;
    int listingsStarted = 0;
    std::vector<DirEntry> entries;
    std::size_t next = 0;
  };

  void Record(std::string call);
  // The path with every folder link along it replaced by its target.
  std::string Resolve(const std::string& path) const;
  Node* Find(const std::string& path);
  const Node* Find(const std::string& path) const;
  Node& Make(const std::string& path, std::uint32_t attributes);

  // Key: resolved path without trailing backslash. Hashed, and element
  // addresses are stable, so a tree 16,000 levels deep stays quick to build
  // and walk.
  std::unordered_map<std::string, Node> nodes_;
  bool hasLinks_ = false;
  std::map<std::string, int> failedListings_;  // bit 1: first, bit 2: second
  std::uint64_t RecordFileId(const Node& node) const;
  static std::uint64_t RecordLength(const Node& node);

  std::set<std::string> failedOpens_, unknownIdentities_, lockedForAppend_, failedWrites_;
  std::vector<std::string> withoutFileIds_;  // resolved folders
  std::map<std::string, std::uint64_t> readLimits_;
  std::map<FileHandle, OpenFile> openFiles_;
  std::map<FolderHandle, OpenFolderState> openFolders_;
  int mostFoldersOpen_ = 0;
  std::intptr_t nextHandle_ = 100;
  std::uint64_t nextSerial_ = 1;
  std::string ansi_;
};

// UTF-8 and UTF-16, both ways (test text is well formed).
std::u16string FromUtf8(std::string_view utf8);
std::string Utf8(std::u16string_view text);
// Bytes shown printable: CR as \r, LF as \n, others above 7E as \xHH.
std::string Escaped(std::string_view bytes);
// Windows-1252 with no best fit: each character it lacks becomes '?'.
std::string Windows1252(std::u16string_view text);

}  // namespace escaner_test
