// The content test: is a file a one-line typed text holding a path separator?
// It reads the file; the bytes are judged in keyboard_scan.h and what the
// strip shows is drawn by scan_progress.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "scan/scan_progress.h"

namespace escaner {

// What reading a file found, before any bar is touched.
struct FileExamination {
  // The file's length: as listed, or what arrived when more came; 0 when not
  // opened, empty or too large.
  std::uint64_t length = 0;
  std::uint64_t stopIndex = 0;  // first byte outside the keyboard set, or length
  bool hasSeparator = false;    // a backslash or slash before stopIndex

  bool AllKeyboard() const { return stopIndex == length; }
};

// Files longer than this are not examined (the content index is 32-bit).
inline constexpr std::uint64_t kMaxExaminedLength = std::uint64_t{1} << 31;

class ContentCheck {
 public:
  // Reads start at 64 KiB, enough to settle nearly every file, and double
  // while the file keeps passing, up to 256 KiB (still within the cache): a
  // long text then costs few file calls, a binary file one small read.
  // Memory stays bounded whatever the file's size.
  static constexpr std::size_t kFirstChunkSize = 64 * 1024;
  static constexpr std::size_t kLargestChunkSize = 256 * 1024;

  // What the test shows goes through `progress`.
  ContentCheck(Platform& platform, ScanProgress& progress);

  // 1 when the file at `path` is at least two bytes long, all of them in the
  // keyboard set, one of them a backslash or slash; 0 otherwise. Drives
  // FileBar as it goes; reports no error. `attributes` and `listedLength`
  // are the file's as listed: a file whose data is not on the volume is not
  // opened, so the scan never makes its provider fetch it.
  std::int32_t TestFile(const std::u16string& path, std::uint32_t attributes,
                        std::uint64_t listedLength);

  // Opens, reads until the first byte outside the set, closes. The listed
  // length is read as the file's length (a read that fails or comes short
  // leaves zeros, which stop the walk), except that a file listed longer
  // than kMaxExaminedLength is not read. When every listed byte passes, the
  // file is read on until a read brings nothing: bytes the listing did not
  // know of (a file that grew, a stale or zero listed length) are judged
  // too, and the file is as long as what arrived.
  FileExamination Examine(const std::u16string& path, std::uint32_t attributes,
                          std::uint64_t listedLength);

 private:
  Platform& platform_;
  ScanProgress& progress_;
  std::unique_ptr<unsigned char[]> chunk_;
};

}  // namespace escaner
