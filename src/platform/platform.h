// The seam between the scan logic and the operating system.
//
// The session, the tree walk, the content test and the report reach the
// platform only through this interface. Escaner.exe implements it with Win32
// (src/platform/win32/); the native unit tests implement it in memory
// (tests/fake/). Nothing here includes <windows.h>.
//
// Every name the walk meets is UTF-16, exactly as the file system lists it,
// and every file-system operation takes it back in that form: a name the
// ANSI code page cannot hold is still reached by its own name, never by a
// look-alike. Paths here are the ordinary absolute form ("C:\Datos\x.txt",
// "\\server\share\x.txt"); the platform itself turns them into whatever form
// makes the system take each listed name literally. ANSI bytes are made only
// for what leaves the program as text: the report's lines and the message
// boxes. The shell's open request names the report by its UTF-16 path.
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
inline constexpr std::uint32_t kAttributeOffline = 0x1000;
inline constexpr std::uint32_t kAttributeRecallOnOpen = 0x40000;
inline constexpr std::uint32_t kAttributeRecallOnDataAccess = 0x400000;
inline constexpr std::uint32_t kReparseTagMountPoint = 0xA0000003;  // junction
inline constexpr std::uint32_t kReparseTagSymlink = 0xA000000C;
// No Windows file system uses tag 0; Wine lists a Linux directory link so.
inline constexpr std::uint32_t kReparseTagUnixLink = 0;

// A file whose data is not on the volume (offline storage, a cloud
// placeholder): opening or reading it makes its provider fetch it.
inline bool WouldRecallData(std::uint32_t attributes) {
  return (attributes &
          (kAttributeOffline | kAttributeRecallOnOpen | kAttributeRecallOnDataAccess)) != 0;
}

// One entry of a folder's listing.
struct DirEntry {
  std::uint32_t attributes = 0;
  std::uint32_t reparseTag = 0;  // meaningful only with kAttributeReparsePoint
  // The entry's file ID on the listed folder's volume, as its record gives
  // it; nothing when the folder's listing carries no IDs. 0 and all ones
  // mean the file system does not know it.
  std::optional<std::uint64_t> fileId;
  // A file's length in bytes as its record gives it. The record may lag
  // behind the file (a file being written, a file system that lists 0 or a
  // stale length): the content test reads by it, but does not stop at it
  // while more bytes arrive.
  std::uint64_t length = 0;
  std::u16string name;  // as listed; reused from entry to entry
};

// A listed file ID that names no file.
inline bool IsUnknownFileId(std::uint64_t fileId) { return fileId == 0 || fileId == ~0ull; }

// What makes a folder the same folder whatever path reached it: the volume's
// serial number and the folder's file ID on it. `known` is false when the
// platform could not tell; such an identity matches nothing.
struct FolderId {
  bool known = false;
  std::uint64_t volume = 0;
  std::uint64_t file = 0;

  bool SameAs(const FolderId& other) const {
    return known && other.known && volume == other.volume && file == other.file;
  }
};

// Progress window: the bars, valued as their controls' identifiers, and the
// repaint targets: the whole window, or one bar by that same identifier.
enum class Bar : int { File = 1001, Overall = 1002 };
enum class PaintTarget : int {
  Window = 0,
  FileBar = static_cast<int>(Bar::File),
  OverallBar = static_cast<int>(Bar::Overall),
};

// Bar colours (COLORREF, 0x00BBGGRR).
inline constexpr std::uint32_t kGold = 0x0000D7FF;
inline constexpr std::uint32_t kOrange = 0x0000A5FF;
inline constexpr std::uint32_t kRed = 0x000000FF;

using FolderHandle = std::intptr_t;
using FileHandle = std::intptr_t;
inline constexpr FolderHandle kNoFolder = -1;
inline constexpr FileHandle kNoFile = -1;

class Platform {
 public:
  virtual ~Platform() = default;

  // --- Folders. One open folder serves both of its listings.
  // Opens the folder at `path` (ending with a backslash) for listing;
  // kNoFolder when it cannot be opened or is not a folder.
  virtual FolderHandle OpenFolder(const std::u16string& path) = 0;
  // The open folder's identity, asked of the system by its handle (a link
  // gives the identity of the folder it leads to). Costly on some systems:
  // the walk asks it only where the listing cannot tell.
  virtual FolderId FolderIdentity(FolderHandle folder) = 0;
  // Starts a listing of the folder from its first entry (again, when called
  // a second time) and fills `entry` with it. False when the folder cannot be
  // listed or lists nothing. "." and ".." come where the volume lists them.
  virtual bool FirstEntry(FolderHandle folder, DirEntry& entry) = 0;
  // The next entry of the listing; false at its end or on any error.
  virtual bool NextEntry(FolderHandle folder, DirEntry& entry) = 0;
  virtual void CloseFolder(FolderHandle folder) = 0;

  // --- Reading an existing file. Never creates or changes a file; kNoFile
  // when it cannot be opened or is not a file on a disk (a device, a pipe).
  virtual FileHandle OpenForReading(const std::u16string& path) = 0;
  // Reads up to `size` bytes at the current position; returns how many
  // arrived (0 at the end of the file and when the read fails).
  virtual std::size_t Read(FileHandle file, void* buffer, std::size_t size) = 0;
  virtual void Close(FileHandle file) = 0;

  // --- The report file's operations.
  virtual void ClearAttributes(const std::u16string& path) = 0;
  // Deletes the file at `path` if the listing finds it as a plain file
  // (not hidden, system, volume label or folder).
  virtual void FindAndDelete(const std::u16string& path) = 0;
  // Opens (creating if missing) for appending at the end, others still able
  // to read it; kNoFile on failure. `heldElsewhere` tells whether it failed
  // because another program holds the file (a sharing or lock violation),
  // a hold that may end in a moment, unlike a missing or read-only folder.
  virtual FileHandle OpenForAppend(const std::u16string& path, bool& heldElsewhere) = 0;
  // Writes all of `bytes`; false if the write failed or came short.
  virtual bool Write(FileHandle file, std::string_view bytes) = 0;

  // The ANSI code page's bytes for `text`: exact where the code page holds
  // every character, '?' in place of each character it lacks (never a
  // best-fit look-alike; '?' cannot occur in a file name, so such a text
  // never names another file). The view stays valid until the next call.
  virtual std::string_view AnsiBytes(std::u16string_view text) = 0;

  // The folder of the running executable, with its trailing backslash;
  // nothing when the executable's whole path cannot be had.
  virtual std::optional<std::u16string> ModuleFolder() = 0;

  // A modal box with one OK button, no owner, no icon; ANSI text.
  virtual void ShowMessage(std::string_view text, std::string_view title) = 0;
  // Asks the shell to carry out `operation` on `file`; failures are silent.
  virtual void ShellOpen(std::string_view operation, const std::u16string& file) = 0;
  // Lets `milliseconds` pass.
  virtual void Pause(std::uint32_t milliseconds) = 0;

  // The system's folder dialog with `title` (ANSI) above the tree. Returns
  // the chosen folder's whole file-system path as the dialog gives it, or
  // nothing when the user cancelled or the item has no file-system path.
  virtual std::optional<std::u16string> BrowseForFolder(std::string_view title) = 0;

  // --- The progress window. Every operation does nothing when the window
  // does not exist (never shown, failed to build, or already closed).
  virtual void ShowProgressWindow() = 0;
  virtual void SetBarPosition(Bar bar, std::int32_t position) = 0;
  virtual void SetBarColor(Bar bar, std::uint32_t color) = 0;
  virtual void RepaintNow(PaintTarget target) = 0;
  virtual void ShowNoActivate() = 0;
  virtual void CloseProgressWindow() = 0;
  // Passed through by every long loop of the scan (each folder opened, each
  // listed entry, each chunk read, each report line appended), so that the strip's thread is
  // never silent for long although it runs no message loop: at most once a
  // frame it answers what other threads and programs sent it and repaints
  // what the system marked damaged, the bars as they stand. It retrieves no
  // input and moves no bar. Between those moments it only reads the clock.
  virtual void StayResponsive() = 0;
};

// A path the file layer will open: not empty, and no wildcard. Listed names
// never hold '*' or '?'; a path that does was not built by the walk.
inline bool IsOpenablePath(std::u16string_view path) {
  return !path.empty() && path.find_first_of(u"*?") == std::u16string_view::npos;
}

}  // namespace escaner
