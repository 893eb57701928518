// The walk over the chosen folder's tree that both passes share: each
// folder's own files in the order of its first listing, then its subfolders
// depth-first in the order of its second.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace escaner {

// Whether the walk enters a listed subfolder: not "." or "..", and not a
// symbolic link, junction or Unix directory link (which could loop, count
// files twice or lead out of the chosen tree). Other reparse points (a cloud
// provider's folders) hold the user's files and are entered.
bool IsEnteredSubfolder(const DirEntry& entry);

// What a pass does with each file the walk meets.
class FileVisitor {
 public:
  // `path` is the file's full path; it is valid only during the call.
  // `attributes` and `listedLength` are the file's as its record gives them.
  virtual void VisitFile(const std::u16string& path, std::uint32_t attributes,
                         std::uint64_t listedLength) = 0;

 protected:
  ~FileVisitor() = default;
};

// The walk keeps its own stack, one level per folder on the chain from the
// chosen folder down, so no depth the platform can list overflows the
// thread's stack. Levels are kept when the walk climbs back up and reused
// when it goes down again: their buffers keep their size, and once the walk
// has been as deep and as wide as before it allocates nothing.
//
// A folder is not entered while a folder of the same identity is being
// walked above it. The identities come from the listings: a subfolder lies
// on its parent's volume and its record carries its file ID. Only the chosen
// folder, a reparse point that is entered, and a subfolder of a folder whose
// listing carries no IDs are asked by their own handles.
class TreeWalker {
 public:
  explicit TreeWalker(Platform& platform) : platform_(platform) {}

  // Walks `folder` (ending with a backslash), handing each file to `visitor`.
  void Walk(const std::u16string& folder, FileVisitor& visitor);

 private:
  // A subfolder noted in its parent's second listing.
  struct Subfolder {
    std::u16string name;
    FolderId id;               // from the listing; unknown when asked by handle
    bool askIdentity = false;  // the listing cannot tell: ask the open folder
  };
  struct Level {
    std::size_t folderLength = 0;  // of its path, trailing backslash included
    FolderId id;
    std::optional<std::uint64_t> volume;  // known even where the folder's file ID is not
    std::vector<Subfolder> subfolders;    // the first subfolderCount are this walk's
    std::size_t subfolderCount = 0;
    std::size_t next = 0;
  };

  // Walks the folder in path_ whose identity is `listed` (or its handle's,
  // with `askIdentity`), on `volume`.
  void Enter(FileVisitor& visitor, const FolderId& listed, bool askIdentity,
             std::optional<std::uint64_t> volume);
  bool IsBeingWalked(const FolderId& id) const;

  Platform& platform_;
  std::u16string path_;
  DirEntry entry_;
  std::vector<Level> levels_;
  std::size_t depth_ = 0;
};

}  // namespace escaner
