#include "app/run_scan.h"

#include <string>

#include "scan/choose_folder.h"
#include "scan/content_check.h"
#include "scan/passes.h"
#include "scan/report.h"
#include "scan/scan_progress.h"

namespace escaner {
namespace {

// One more line for the final box when the report is not whole: the user
// learns that the list is short, or missing, and where it should be.
void AddReportNotice(Platform& platform, const Report& report, std::string& text) {
  std::string_view notice;
  switch (report.Outcome()) {
    case ReportOutcome::Complete:
      return;
    case ReportOutcome::Incomplete:
      notice = kReportIncompleteText;
      break;
    case ReportOutcome::NotWritten:
      notice = kReportNotWrittenText;
      break;
    case ReportOutcome::NoPlace:
      notice = kReportNoPlaceText;
      break;
  }
  text += kLineBreak;
  text += notice;
  if (report.Path()) text += platform.AnsiBytes(*report.Path());
}

// Only a report that holds this session's lines, or none at all, is handed
// to the shell: no path means nothing to open, and an unwritten one would
// show an old report or a folder of the same name.
bool WorthOpening(const Report& report) {
  const ReportOutcome outcome = report.Outcome();
  return outcome == ReportOutcome::Complete || outcome == ReportOutcome::Incomplete;
}

}  // namespace

bool IsUnusableFolder(std::u16string_view folder) {
  std::size_t first = 0, end = folder.size();
  while (first < end && folder[first] == u' ') ++first;
  while (end > first && folder[end - 1] == u' ') --end;
  return end - first < 3;
}

std::int32_t RunScan(Platform& platform, ScanCounters& counters) {
  counters.FilesScanned = 0;
  counters.FilesInfected = 0;
  Report report(platform);
  report.ClearReport();

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
  ScanFolder(platform, folder, counters, progress, contentCheck, report);
  report.CloseReport();
  platform.CloseProgressWindow();

  std::string text(kDoneText);
  text += kLineBreak;
  text += kScannedLabel;
  text += std::to_string(counters.FilesScanned);
  text += kLineBreak;
  text += kInfectedLabel;
  text += std::to_string(counters.FilesInfected);
  AddReportNotice(platform, report, text);
  platform.ShowMessage(text, kMessageTitle);

  if (WorthOpening(report)) platform.ShellOpen(kOpenOperation, *report.Path());
  return 0;
}

}  // namespace escaner
