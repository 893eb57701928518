#include "scan/tree_walk.h"

namespace escaner {

bool IsEnteredSubfolder(const DirEntry& entry) {
  if (!(entry.attributes & kAttributeDirectory)) return false;
  if (entry.name == u"." || entry.name == u"..") return false;
  if (entry.attributes & kAttributeReparsePoint) {
    return entry.reparseTag != kReparseTagMountPoint && entry.reparseTag != kReparseTagSymlink;
  }
  return true;
}

void TreeWalker::Walk(const std::u16string& folder, FileVisitor& visitor) {
  path_ = folder;
  depth_ = 0;
  Enter(visitor);
  while (depth_ > 0) {
    Level& level = levels_[depth_ - 1];
    if (level.next == level.subfolderCount) {
      --depth_;
      continue;
    }
    path_.resize(level.folderLength);
    path_ += level.subfolders[level.next++];
    path_ += u'\\';
    Enter(visitor);
  }
}

// The folder in path_: its files, then its subfolders noted for later. A
// folder already being walked above itself (a link back up, whatever its tag
// says) is looked at once and not entered.
void TreeWalker::Enter(FileVisitor& visitor) {
  platform_.StayResponsive();  // also between subfolders that cannot be opened
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
      platform_.StayResponsive();
      if (!(entry_.attributes & kAttributeDirectory)) {
        path_ += entry_.name;
        visitor.VisitFile(path_, entry_.attributes);
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
  // subfolder is walked: the walk holds one folder open at a time, however
  // deep it goes.
  if (platform_.FirstEntry(folder, entry_)) {
    do {
      platform_.StayResponsive();
      if (!IsEnteredSubfolder(entry_)) continue;
      if (level.subfolderCount == level.subfolders.size()) level.subfolders.emplace_back();
      level.subfolders[level.subfolderCount++] = entry_.name;
    } while (platform_.NextEntry(folder, entry_));
  }
  platform_.CloseFolder(folder);
}

}  // namespace escaner
