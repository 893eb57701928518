// The report file "Malware.txt" beside the executable: one flagged path per
// line, each ending with CR LF, in the ANSI code page, no header.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace escaner {

inline constexpr std::u16string_view kReportName = u"Malware.txt";

// The executable's folder followed by "Malware.txt"; nothing when the
// executable's folder cannot be had, so no other folder's Malware.txt is
// ever taken for the report.
std::optional<std::u16string> ReportPath(Platform& platform);

// What became of the session's report, as the final box tells it.
enum class ReportOutcome {
  Complete,    // every flagged path is in it (none, when nothing was flagged)
  Incomplete,  // some lines are in it, some could not be written
  NotWritten,  // lines were due and none could be written
  NoPlace,     // the executable's folder could not be had: nothing written
};

// The report of one session. Its place is found once. From the first flagged
// line to the end of the scanning pass the file stays open, others still
// able to read it: a program that opens the report meanwhile (a viewer, a
// virus scanner reacting to each change) cannot take it away from the scan
// between two lines. Each line goes to the system as it is written, nothing
// waits in the process.
class Report {
 public:
  explicit Report(Platform& platform);
  ~Report();
  Report(const Report&) = delete;
  Report& operator=(const Report&) = delete;

  const std::optional<std::u16string>& Path() const { return path_; }

  // Removes the previous report, read-only, hidden or system included.
  // Every failure is ignored. Without a place, touches nothing.
  void ClearReport();

  // Appends `path` in the ANSI code page and CR LF. A character the code
  // page lacks is written as '?', so a line never names another file than
  // the one flagged. A line that cannot be written is counted as lost.
  void LogInfected(std::u16string_view path);

  // Ends the scanning pass's hold on the file.
  void CloseReport();

  ReportOutcome Outcome() const;

 private:
  bool Opened();

  Platform& platform_;
  const std::optional<std::u16string> path_;
  FileHandle file_ = kNoFile;
  bool openTried_ = false;
  std::int32_t linesWritten_ = 0;
  std::int32_t linesLost_ = 0;
};

}  // namespace escaner
