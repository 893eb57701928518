#include "scan/tree_walk.h"

namespace escaner {

bool IsEnteredSubfolder(const DirEntry& entry) {
  if (!(entry.attributes & kAttributeDirectory)) return false;
  if (entry.name == u"." || entry.name == u"..") return false;
  if (entry.attributes & kAttributeReparsePoint) {
    return entry.reparseTag != kReparseTagMountPoint && entry.reparseTag != kReparseTagSymlink &&
           entry.reparseTag != kReparseTagUnixLink;
  }
  return true;
}

void TreeWalker::Walk(const std::u16string& folder, FileVisitor& visitor) {
  path_ = folder;
  depth_ = 0;
  Enter(visitor, FolderId{}, true, std::nullopt);
  while (depth_ > 0) {
    Level& level = levels_[depth_ - 1];
    if (level.next == level.subfolderCount) {
      --depth_;
      continue;
    }
    const Subfolder& subfolder = level.subfolders[level.next++];
    path_.resize(level.folderLength);
    path_ += subfolder.name;
    path_ += u'\\';
    Enter(visitor, subfolder.id, subfolder.askIdentity, level.volume);
  }
}

bool TreeWalker::IsBeingWalked(const FolderId& id) const {
  for (std::size_t i = 0; i < depth_; ++i) {
    if (levels_[i].id.SameAs(id)) return true;
  }
  return false;
}

// The folder in path_: its files, then its subfolders noted for later. A
// folder already being walked above itself (a link back up, whatever its tag
// says) is not entered; when the listing told its identity it is not even
// opened.
void TreeWalker::Enter(FileVisitor& visitor, const FolderId& listed, bool askIdentity,
                       std::optional<std::uint64_t> volume) {
  if (IsBeingWalked(listed)) return;
  platform_.StayResponsive();  // also between subfolders that cannot be opened
  const FolderHandle folder = platform_.OpenFolder(path_);
  if (folder == kNoFolder) return;
  FolderId id = listed;
  if (askIdentity) {
    id = platform_.FolderIdentity(folder);
    volume = id.known ? std::optional<std::uint64_t>(id.volume) : std::nullopt;
    if (IsBeingWalked(id)) {
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
        visitor.VisitFile(path_, entry_.attributes, entry_.length);
        path_.resize(folderLength);
      }
    } while (platform_.NextEntry(folder, entry_));
  }

  if (depth_ == levels_.size()) levels_.emplace_back();
  Level& level = levels_[depth_++];
  level.folderLength = folderLength;
  level.id = id;
  level.volume = volume;
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
      Subfolder& subfolder = level.subfolders[level.subfolderCount++];
      subfolder.name = entry_.name;
      subfolder.id = FolderId{};
      // A reparse point's record describes the point, not the folder it
      // leads to; a listing without IDs, or a volume not known, tells
      // nothing. A file ID the file system does not know is left unknown:
      // asking the handle would not know it either.
      subfolder.askIdentity = (entry_.attributes & kAttributeReparsePoint) ||
                              !entry_.fileId.has_value() || !volume.has_value();
      if (!subfolder.askIdentity && !IsUnknownFileId(*entry_.fileId)) {
        subfolder.id = FolderId{true, *volume, *entry_.fileId};
      }
    } while (platform_.NextEntry(folder, entry_));
  }
  platform_.CloseFolder(folder);
}

}  // namespace escaner
