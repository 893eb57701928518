// The seam between the scan logic and the operating system.
//
// The session, the tree walk, the content test and the report reach the
// platform only through this interface. Escaner.exe implements it with Win32
// (src/platform/win32/); the native unit tests implement it in memory
// (tests/fake/). Nothing here includes <windows.h>.
//
// Narrow text is in the ANSI code page (Windows-1252 on the systems this tool
// is written for). The report's path is UTF-16, since it comes from the
// executable's own wide path and must survive characters the code page lacks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace escaner {

// Attribute bits and reparse tags, with their Windows values.
inline constexpr std::uint32_t kAttributeReadOnly = 0x1;
inline constexpr std::uint32_t kAttributeHidden = 0x2;
inline constexpr std::uint32_t kAttributeSystem = 0x4;
inline constexpr std::uint32_t kAttributeDirectory = 0x10;
inline constexpr std::uint32_t kAttributeReparsePoint = 0x400;
inline constexpr std::uint32_t kReparseTagMountPoint = 0xA0000003;  // junction
inline constexpr std::uint32_t kReparseTagSymlink = 0xA000000C;

// The longest search pattern the narrow listing accepts (MAX_PATH - 1).
inline constexpr std::size_t kMaxPatternLength = 259;

// One entry of a directory listing, as the platform's find record holds it.
struct DirEntry {
  std::uint32_t attributes = 0;
  std::uint32_t reparseTag = 0;  // meaningful only with kAttributeReparsePoint
  char name[260] = {};           // NUL-terminated, bytes as listed
};

// Progress window: the bars and the repaint targets.
enum class Bar : int { File = 1001, Overall = 1002 };
enum class PaintTarget : int { Window = 0, FileBar = 1001, OverallBar = 1002 };

// Bar colours (COLORREF, 0x00BBGGRR).
inline constexpr std::uint32_t kGold = 0x0000D7FF;
inline constexpr std::uint32_t kOrange = 0x0000A5FF;
inline constexpr std::uint32_t kRed = 0x000000FF;

using ListingHandle = std::intptr_t;
using FileHandle = std::intptr_t;
inline constexpr ListingHandle kNoListing = -1;
inline constexpr FileHandle kNoFile = -1;

class Platform {
 public:
  virtual ~Platform() = default;

  // Directory listing by pattern (folder path followed by "*.*" or "*").
  // FindFirst returns kNoListing when the folder cannot be listed.
  virtual ListingHandle FindFirst(const std::string& pattern, DirEntry& entry) = 0;
  virtual bool FindNext(ListingHandle listing, DirEntry& entry) = 0;
  virtual void FindClose(ListingHandle listing) = 0;

  // Reading an existing file. Never creates or changes a file.
  virtual FileHandle OpenForReading(const std::string& path) = 0;
  // The file's length in bytes.
  virtual std::uint64_t FileSize(FileHandle file) = 0;
  // Reads up to `size` bytes at the current position; returns how many
  // arrived (0 when the read fails).
  virtual std::size_t Read(FileHandle file, void* buffer, std::size_t size) = 0;
  virtual void Close(FileHandle file) = 0;

  // The report file's operations, on a UTF-16 path.
  virtual void ClearAttributes(const std::u16string& path) = 0;
  // Deletes the file at `path` if the listing finds it as a plain file
  // (not hidden, system, volume label or folder).
  virtual void FindAndDelete(const std::u16string& path) = 0;
  // Opens (creating if missing) for appending at the end; kNoFile on failure.
  virtual FileHandle OpenForAppend(const std::u16string& path) = 0;
  // Writes all of `bytes`; false if the write failed or came short.
  virtual bool Write(FileHandle file, std::string_view bytes) = 0;

  // The folder of the running executable, with its trailing backslash.
  virtual std::u16string ModuleFolder() = 0;

  // A modal box with one OK button, no owner, no icon.
  virtual void ShowMessage(std::string_view text, std::string_view title) = 0;
  // Asks the shell to carry out `operation` on `file`; failures are silent.
  virtual void ShellOpen(std::string_view operation, const std::u16string& file) = 0;

  // The system's folder dialog with `title` above the tree. Returns the
  // chosen folder's file-system path as the dialog gives it, or nothing when
  // the user cancelled or the item has no file-system path.
  virtual std::optional<std::string> BrowseForFolder(std::string_view title) = 0;

  // The progress window. Every operation does nothing when the window does
  // not exist (never shown, failed to build, or already closed).
  virtual void ShowProgressWindow() = 0;
  virtual void ResetProgressBar(Bar bar) = 0;
  virtual void SetBarPosition(Bar bar, std::int32_t position) = 0;
  virtual void SetBarColor(Bar bar, std::uint32_t color) = 0;
  virtual void RepaintNow(PaintTarget target) = 0;
  virtual void ShowNoActivate() = 0;
  virtual void CloseProgressWindow() = 0;
};

// A path the file layer will open: not empty, and no wildcard. A name the
// code page cannot represent reaches us with '?' in its place; such a path
// would name other files, so it is never opened.
inline bool IsOpenablePath(std::string_view path) {
  return !path.empty() && path.find_first_of("*?") == std::string_view::npos;
}

}  // namespace escaner
