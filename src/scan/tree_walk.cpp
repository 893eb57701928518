#include "scan/tree_walk.h"

#include <vector>

#include "scan/report.h"

namespace escaner {

bool IsEnteredSubfolder(const DirEntry& entry) {
  if (!(entry.attributes & kAttributeDirectory)) return false;
  if (entry.name == u"." || entry.name == u"..") return false;
  if (entry.attributes & kAttributeReparsePoint) {
    return entry.reparseTag != kReparseTagMountPoint && entry.reparseTag != kReparseTagSymlink;
  }
  return true;
}

namespace {

// The walk keeps its own stack, one level per folder on the chain from the
// chosen folder down, so no depth the platform can list overflows the
// thread's stack. Levels are kept when the walk climbs back up and reused
// when it goes down again: their buffers keep their size, and once the walk
// has been as deep and as wide as before it allocates nothing.
class TreeWalker {
 public:
  explicit TreeWalker(Platform& platform) : platform_(platform) {}

  // Walks `folder` (ending with a backslash): each folder's own files in the
  // order of its first listing, then its subfolders depth-first in the order
  // of its second.
  template <typename FileStep>
  void Walk(const std::u16string& folder, FileStep& fileStep) {
    path_ = folder;
    depth_ = 0;
    Enter(fileStep);
    while (depth_ > 0) {
      Level& level = levels_[depth_ - 1];
      if (level.next == level.subfolderCount) {
        --depth_;
        continue;
      }
      path_.resize(level.folderLength);
      path_ += level.subfolders[level.next++];
      path_ += u'\\';
      Enter(fileStep);
    }
  }

 private:
  struct Level {
    std::size_t folderLength = 0;  // of its path, trailing backslash included
    FolderId id;
    std::vector<std::u16string> subfolders;  // the first subfolderCount are this walk's
    std::size_t subfolderCount = 0;
    std::size_t next = 0;
  };

  // The folder in path_: its files, then its subfolders noted for later. A
  // folder already being walked above itself (a link back up, whatever its
  // tag says) is looked at once and not entered.
  template <typename FileStep>
  void Enter(FileStep& fileStep) {
    FolderId id;
    const FolderHandle folder = platform_.OpenFolder(path_, id);
    if (folder == kNoFolder) return;
    for (std::size_t i = 0; i < depth_; ++i) {
      if (levels_[i].id.SameAs(id)) {
        platform_.CloseFolder(folder);
        return;
      }
    }

    const std::size_t folderLength = path_.size();
    if (platform_.FirstEntry(folder, entry_)) {
      do {
        if (!(entry_.attributes & kAttributeDirectory)) {
          path_ += entry_.name;
          fileStep(path_, entry_.attributes);
          path_.resize(folderLength);
        }
      } while (platform_.NextEntry(folder, entry_));
    }

    if (depth_ == levels_.size()) levels_.emplace_back();
    Level& level = levels_[depth_++];
    level.folderLength = folderLength;
    level.id = id;
    level.subfolderCount = 0;
    level.next = 0;
    // The second listing is read whole and the folder closed before any
    // subfolder is walked: the walk holds one folder open at a time,
    // however deep it goes.
    if (platform_.FirstEntry(folder, entry_)) {
      do {
        if (!IsEnteredSubfolder(entry_)) continue;
        if (level.subfolderCount == level.subfolders.size()) level.subfolders.emplace_back();
        level.subfolders[level.subfolderCount++] = entry_.name;
      } while (platform_.NextEntry(folder, entry_));
    }
    platform_.CloseFolder(folder);
  }

  Platform& platform_;
  std::u16string path_;
  DirEntry entry_;
  std::vector<Level> levels_;
  std::size_t depth_ = 0;
};

}  // namespace

void CountFiles(Platform& platform, const std::u16string& folder, ScanCounters& counters) {
  TreeWalker walker(platform);
  auto countFile = [&](const std::u16string&, std::uint32_t) { ++counters.FilesScanned; };
  walker.Walk(folder, countFile);
}

void ScanFolder(Platform& platform, const std::u16string& folder, ScanCounters& counters,
                ContentCheck& contentCheck) {
  TreeWalker walker(platform);
  auto scanFile = [&](const std::u16string& filePath, std::uint32_t attributes) {
    ++counters.FilesDone;
    // An empty count with files present means files appeared after the
    // counting pass: the bar shows full rather than dividing by zero.
    platform.SetBarPosition(Bar::Overall, Percent(counters.FilesDone, counters.FilesScanned, 100));
    platform.SetBarColor(Bar::File, kGold);
    platform.RepaintNow(PaintTarget::OverallBar);
    if (contentCheck.TestFile(filePath, attributes, counters) != 0) {
      ++counters.FilesInfected;
      LogInfected(platform, filePath);
    }
  };
  walker.Walk(folder, scanFile);
}

}  // namespace escaner
