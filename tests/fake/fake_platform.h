// An in-memory platform for the native tests: a folder tree with the
// listing semantics the walk relies on, failures injectable per path, and a
// recorder of every seam call with its arguments, in order.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace escaner::testing {

class FakePlatform : public Platform {
 public:
  FakePlatform();

  // --- The tree. Paths are Windows-style ("T:\\data\\a.txt"); a drive root
  // such as "T:\\" always exists. Parents are made as needed.
  void AddFolder(const std::string& path, std::uint32_t attributes = 0, std::uint32_t reparseTag = 0);
  void AddFile(const std::string& path, std::string content, std::uint32_t attributes = 0);
  // A file whose length is `length` while its bytes repeat `pattern`.
  void AddRepeatingFile(const std::string& path, std::string pattern, std::uint64_t length);
  void Remove(const std::string& path);
  bool Exists(const std::string& path) const;
  std::string Content(const std::string& path) const;
  std::uint32_t Attributes(const std::string& path) const;

  // --- Failures.
  enum class Listing { First, Second, Both };  // the "*.*" and the "*" pattern
  void FailListing(const std::string& folder, Listing which = Listing::Both);
  void FailOpen(const std::string& path);
  // Reads of `path` deliver bytes only up to `limit` (0: every read fails).
  void LimitReads(const std::string& path, std::uint64_t limit);
  void LockForAppend(const std::string& path);  // held open elsewhere
  void UnlockForAppend(const std::string& path);
  void FailWrites(const std::string& path);

  // --- What the dialog and the module give.
  std::optional<std::string> browseResult;
  std::u16string moduleFolder = u"C:\\Prog\\";

  // Runs before each seam call is recorded, with the call's record, so a
  // test can change the tree between the passes.
  std::function<void(const std::string& call)> beforeEachCall;

  // --- The recorder.
  std::vector<std::string> calls;
  // The recorded calls that start with one of `prefixes`.
  std::vector<std::string> CallsStartingWith(std::initializer_list<std::string> prefixes) const;
  int openFileCount() const { return static_cast<int>(openFiles_.size()); }
  int openListingCount() const { return static_cast<int>(listings_.size()); }

  // --- Platform.
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
  struct Node {
    std::uint32_t attributes = 0;
    std::uint32_t reparseTag = 0;
    std::string content;
    std::uint64_t length = 0;  // > content.size() for a repeating file
    std::vector<std::string> children;  // names, in creation order
  };
  struct OpenFile {
    std::string path;
    std::uint64_t offset = 0;
  };
  struct OpenListing {
    std::vector<DirEntry> entries;
    std::size_t next = 0;
  };

  void Record(std::string call);
  Node* Find(const std::string& path);
  const Node* Find(const std::string& path) const;
  Node& Make(const std::string& path, std::uint32_t attributes);

  std::map<std::string, Node> nodes_;  // key: path without trailing backslash
  std::map<std::string, int> failedListings_;  // bit 1: first, bit 2: second
  std::set<std::string> failedOpens_, lockedForAppend_, failedWrites_;
  std::map<std::string, std::uint64_t> readLimits_;
  std::map<FileHandle, OpenFile> openFiles_;
  std::map<ListingHandle, OpenListing> listings_;
  std::intptr_t nextHandle_ = 100;
};

// Narrow form of a UTF-16 path whose characters are all below 256.
std::string Narrow(const std::u16string& text);
// Bytes shown printable: CR as \r, LF as \n, others above 7E as \xHH.
std::string Escaped(std::string_view bytes);

}  // namespace escaner::testing
