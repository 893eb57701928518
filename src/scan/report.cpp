#include "scan/report.h"

namespace escaner {

std::u16string ReportPath(Platform& platform) {
  std::u16string path = platform.ModuleFolder();
  path += kReportName;
  return path;
}

void ClearReport(Platform& platform) {
  const std::u16string path = ReportPath(platform);
  platform.ClearAttributes(path);
  platform.FindAndDelete(path);
}

void LogInfected(Platform& platform, std::u16string_view path) {
  platform.StayResponsive();
  const FileHandle report = platform.OpenForAppend(ReportPath(platform));
  if (report == kNoFile) return;
  if (!path.empty()) platform.Write(report, platform.AnsiBytes(path));
  platform.Write(report, "\r\n");
  platform.Close(report);
}

}  // namespace escaner
