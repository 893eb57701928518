// The two passes over the chosen folder's tree.
#pragma once

#include <string>

#include "platform/platform.h"
#include "scan/content_check.h"
#include "scan/scan_counters.h"

namespace escaner {

// Counting pass: adds the number of files below `folder` to FilesScanned.
void CountFiles(Platform& platform, const std::u16string& folder, ScanCounters& counters);

// Scanning pass: visits the same files in the same order, moves OverallBar,
// tests each file and logs the flagged ones.
void ScanFolder(Platform& platform, const std::u16string& folder, ScanCounters& counters,
                ContentCheck& contentCheck);

// Whether the walk enters a listed subfolder: not "." or "..", and not a
// symbolic link or junction (which could loop or count files twice).
bool IsEnteredSubfolder(const DirEntry& entry);

}  // namespace escaner
