// The two passes over the chosen folder's tree: the counting pass, which
// finds the total, and the scanning pass, which tests every file and reports
// the flagged ones. Both walk the same tree the same way (tree_walk.h).
#pragma once

#include <string>

#include "platform/platform.h"
#include "scan/content_check.h"
#include "scan/report.h"
#include "scan/scan_counters.h"
#include "scan/scan_progress.h"

namespace escaner {

// Counting pass: adds the number of files below `folder` to FilesScanned.
// Sends nothing to the strip.
void CountFiles(Platform& platform, const std::u16string& folder, ScanCounters& counters);

// Scanning pass: visits the same files in the same order; for each, counts it
// in FilesDone, shows it reached, tests it, and counts it and logs it in
// `report` when flagged.
void ScanFolder(Platform& platform, const std::u16string& folder, ScanCounters& counters,
                ScanProgress& progress, ContentCheck& contentCheck, Report& report);

}  // namespace escaner
