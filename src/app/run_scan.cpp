#include "app/run_scan.h"

#include <string>

#include "scan/choose_folder.h"
#include "scan/content_check.h"
#include "scan/passes.h"
#include "scan/report.h"
#include "scan/scan_progress.h"

namespace escaner {

bool IsUnusableFolder(std::u16string_view folder) {
  std::size_t first = 0, end = folder.size();
  while (first < end && folder[first] == u' ') ++first;
  while (end > first && folder[end - 1] == u' ') --end;
  return end - first < 3;
}

std::int32_t RunScan(Platform& platform, ScanCounters& counters) {
  counters.FilesScanned = 0;
  counters.FilesInfected = 0;
  ClearReport(platform);

  const std::u16string folder = ChooseFolder(platform);
  if (IsUnusableFolder(folder)) {
    std::string text(kSorryText);
    text += kLineBreak;
    text += kDoneText;
    platform.ShowMessage(text, kMessageTitle);
    return 0;
  }

  platform.ShowProgressWindow();
  CountFiles(platform, folder, counters);
  ScanProgress progress(platform, counters);
  ContentCheck contentCheck(platform, progress);
  ScanFolder(platform, folder, counters, progress, contentCheck);
  platform.CloseProgressWindow();

  std::string text(kDoneText);
  text += kLineBreak;
  text += kScannedLabel;
  text += std::to_string(counters.FilesScanned);
  text += kLineBreak;
  text += kInfectedLabel;
  text += std::to_string(counters.FilesInfected);
  platform.ShowMessage(text, kMessageTitle);

  platform.ShellOpen(kOpenOperation, ReportPath(platform));
  return 0;
}

}  // namespace escaner
