// One scan session, from clearing the counters to opening the report.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/platform.h"
#include "scan/scan_counters.h"

namespace escaner {

// The session's texts, Windows-1252 bytes.
inline constexpr std::string_view kDoneText = "El escaneo ha terminado ...";
inline constexpr std::string_view kScannedLabel = "Ficheros escaneados : ";
inline constexpr std::string_view kInfectedLabel = "Ficheros infectados : ";
inline constexpr std::string_view kSorryText = "Sintiendolo mucho ...";
inline constexpr std::string_view kMessageTitle = "Programador";
inline constexpr std::string_view kOpenOperation = "open";
inline constexpr std::string_view kLineBreak = "\r\n";
// The final box's last line when the report is not whole; the first two are
// followed by the report's path.
inline constexpr std::string_view kReportIncompleteText =
    "Sintiendolo mucho ... faltan lineas en el informe ";
inline constexpr std::string_view kReportNotWrittenText =
    "Sintiendolo mucho ... no se pudo escribir el informe ";
inline constexpr std::string_view kReportNoPlaceText =
    "Sintiendolo mucho ... no se pudo saber donde dejar el informe";

// Runs the whole session; always returns 0, the process's exit code.
std::int32_t RunScan(Platform& platform, ScanCounters& counters);

// True when the chosen folder, with leading and trailing blanks (the space
// only) trimmed, is shorter than three characters.
bool IsUnusableFolder(std::u16string_view folder);

}  // namespace escaner
