// The report file "Malware.txt" beside the executable: one flagged path per
// line, each ending with CR LF, in the ANSI code page, no header.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace escaner {

inline constexpr std::u16string_view kReportName = u"Malware.txt";

// The executable's folder followed by "Malware.txt".
std::u16string ReportPath(Platform& platform);

// Removes the previous report, read-only, hidden or system included.
// Every failure is ignored.
void ClearReport(Platform& platform);

// Appends `path` in the ANSI code page and CR LF, opening and closing the
// report around it. A character the code page lacks is written as '?', so a
// line never names another file than the one flagged. A failure loses this
// line only.
void LogInfected(Platform& platform, std::u16string_view path);

}  // namespace escaner
