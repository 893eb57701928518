#include "scan/report.h"

namespace escaner {
namespace {

// The first open of a session waits up to about a second for a program that
// holds an old report (a virus scanner, a backup) to let it go. Later opens
// try once each: a hold that outlasts the wait is a user's program, and
// waiting at every flagged file would stall the scan.
constexpr int kHeldReportPauses = 10;
constexpr std::uint32_t kHeldReportPauseMs = 100;

}  // namespace

std::optional<std::u16string> ReportPath(Platform& platform) {
  std::optional<std::u16string> path = platform.ModuleFolder();
  if (path) *path += kReportName;
  return path;
}

Report::Report(Platform& platform) : platform_(platform), path_(ReportPath(platform)) {}

Report::~Report() { CloseReport(); }

void Report::ClearReport() {
  if (!path_) return;
  platform_.ClearAttributes(*path_);
  platform_.FindAndDelete(*path_);
}

bool Report::Opened() {
  if (file_ != kNoFile) return true;
  if (!path_) return false;
  bool heldElsewhere = false;
  file_ = platform_.OpenForAppend(*path_, heldElsewhere);
  for (int pause = 0; file_ == kNoFile && heldElsewhere && !openTried_ && pause < kHeldReportPauses;
       ++pause) {
    platform_.Pause(kHeldReportPauseMs);
    file_ = platform_.OpenForAppend(*path_, heldElsewhere);
  }
  openTried_ = true;
  return file_ != kNoFile;
}

void Report::LogInfected(std::u16string_view path) {
  platform_.StayResponsive();
  if (!Opened()) {
    ++linesLost_;
    return;
  }
  // The line end is written even after a failed path, so the next line
  // still starts on a line of its own.
  bool whole = path.empty() || platform_.Write(file_, platform_.AnsiBytes(path));
  whole = platform_.Write(file_, "\r\n") && whole;
  ++(whole ? linesWritten_ : linesLost_);
}

void Report::CloseReport() {
  if (file_ == kNoFile) return;
  platform_.Close(file_);
  file_ = kNoFile;
}

ReportOutcome Report::Outcome() const {
  if (!path_) return ReportOutcome::NoPlace;
  if (linesLost_ == 0) return ReportOutcome::Complete;
  return linesWritten_ > 0 ? ReportOutcome::Incomplete : ReportOutcome::NotWritten;
}

}  // namespace escaner
