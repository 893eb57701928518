#include "scan/tree_walk.h"

#include <cstring>

#include "scan/report.h"

namespace escaner {

bool IsEnteredSubfolder(const DirEntry& entry) {
  if (!(entry.attributes & kAttributeDirectory)) return false;
  if (std::strcmp(entry.name, ".") == 0 || std::strcmp(entry.name, "..") == 0) return false;
  if (entry.attributes & kAttributeReparsePoint) {
    return entry.reparseTag != kReparseTagMountPoint && entry.reparseTag != kReparseTagSymlink;
  }
  return true;
}

namespace {

// Walks one folder: its own files in the order of the first listing, then
// its subfolders depth-first in the order of the second. `path` holds the
// folder (ending with a backslash) on entry and again on return; file and
// subfolder paths are built in it in place, so the walk allocates only when a
// path grows longer than any before it.
template <typename FileStep>
void WalkFolder(Platform& platform, std::string& path, DirEntry& entry, FileStep& fileStep) {
  const std::size_t folderLength = path.size();
  // A pattern the listing cannot take whole would list another folder, so
  // such a folder is left out entirely, alike in both passes.
  if (folderLength + 3 > kMaxPatternLength) return;

  path += "*.*";
  ListingHandle listing = platform.FindFirst(path, entry);
  path.resize(folderLength);
  if (listing != kNoListing) {
    do {
      if (!(entry.attributes & kAttributeDirectory)) {
        path += entry.name;
        fileStep(path);
        path.resize(folderLength);
      }
    } while (platform.FindNext(listing, entry));
    platform.FindClose(listing);
  }

  path += '*';
  listing = platform.FindFirst(path, entry);
  path.resize(folderLength);
  if (listing == kNoListing) return;
  do {
    if (IsEnteredSubfolder(entry)) {
      path += entry.name;
      path += '\\';
      WalkFolder(platform, path, entry, fileStep);
      path.resize(folderLength);
    }
  } while (platform.FindNext(listing, entry));
  platform.FindClose(listing);
}

template <typename FileStep>
void WalkTree(Platform& platform, const std::string& folder, FileStep fileStep) {
  std::string path = folder;
  path.reserve(512);
  // One find record serves every level: a level reads it only between its
  // own FindFirst/FindNext and the next call, never across a recursion.
  DirEntry entry;
  WalkFolder(platform, path, entry, fileStep);
}

}  // namespace

void CountFiles(Platform& platform, const std::string& folder, ScanCounters& counters) {
  WalkTree(platform, folder, [&](const std::string&) { ++counters.FilesScanned; });
}

void ScanFolder(Platform& platform, const std::string& folder, ScanCounters& counters,
                ContentTest& contentTest) {
  WalkTree(platform, folder, [&](const std::string& filePath) {
    ++counters.FilesDone;
    // An empty count with files present means files appeared after the
    // counting pass: the bar shows full rather than dividing by zero.
    platform.SetBarPosition(Bar::Overall, Percent(counters.FilesDone, counters.FilesScanned, 100));
    platform.SetBarColor(Bar::File, kGold);
    platform.RepaintNow(PaintTarget::OverallBar);
    if (contentTest.TestFile(filePath, counters) != 0) {
      ++counters.FilesInfected;
      LogInfected(platform, filePath);
    }
  });
}

}  // namespace escaner
