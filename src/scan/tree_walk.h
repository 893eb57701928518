// The walk over the chosen folder's tree that both passes share: each
// folder's own files in the order of its first listing, then its subfolders
// depth-first in the order of its second.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace escaner {

// Whether the walk enters a listed subfolder: not "." or "..", and not a
// symbolic link or junction (which could loop or count files twice).
bool IsEnteredSubfolder(const DirEntry& entry);

// What a pass does with each file the walk meets.
class FileVisitor {
 public:
  // `path` is the file's full path; it is valid only during the call.
  virtual void VisitFile(const std::u16string& path, std::uint32_t attributes) = 0;

 protected:
  ~FileVisitor() = default;
};

// The walk keeps its own stack, one level per folder on the chain from the
// chosen folder down, so no depth the platform can list overflows the
// thread's stack. Levels are kept when the walk climbs back up and reused
// when it goes down again: their buffers keep their size, and once the walk
// has been as deep and as wide as before it allocates nothing.
class TreeWalker {
 public:
  explicit TreeWalker(Platform& platform) : platform_(platform) {}

  // Walks `folder` (ending with a backslash), handing each file to `visitor`.
  void Walk(const std::u16string& folder, FileVisitor& visitor);

 private:
  struct Level {
    std::size_t folderLength = 0;  // of its path, trailing backslash included
    FolderId id;
    std::vector<std::u16string> subfolders;  // the first subfolderCount are this walk's
    std::size_t subfolderCount = 0;
    std::size_t next = 0;
  };

  void Enter(FileVisitor& visitor);

  Platform& platform_;
  std::u16string path_;
  DirEntry entry_;
  std::vector<Level> levels_;
  std::size_t depth_ = 0;
};

}  // namespace escaner
