#include "scan/content_check.h"

#include <algorithm>

#include "scan/keyboard_scan.h"

namespace escaner {

ContentCheck::ContentCheck(Platform& platform, ScanProgress& progress)
    : platform_(platform),
      progress_(progress),
      chunk_(std::make_unique<unsigned char[]>(kLargestChunkSize)) {}

FileExamination ContentCheck::Examine(const std::u16string& path, std::uint32_t attributes) {
  FileExamination exam;
  if (WouldRecallData(attributes) || !IsOpenablePath(path)) return exam;
  const FileHandle file = platform_.OpenForReading(path);
  if (file == kNoFile) return exam;

  const std::uint64_t length = platform_.FileSize(file);
  if (length == 0 || length > kMaxExaminedLength) {
    platform_.Close(file);
    return exam;
  }
  exam.length = length;
  exam.stopIndex = length;

  std::uint64_t offset = 0;
  std::size_t chunkSize = kFirstChunkSize;
  for (; offset < length; chunkSize = std::min(2 * chunkSize, kLargestChunkSize)) {
    platform_.StayResponsive();
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, length - offset));
    const std::size_t got = std::min(platform_.Read(file, chunk_.get(), wanted), wanted);
    const std::size_t passed = ScanKeyboardBytes(chunk_.get(), got, exam.hasSeparator);
    // A failed or short read leaves the missing bytes zero, and zero is
    // outside the set: the walk stops at the first byte that did not arrive.
    if (passed < wanted) {
      exam.stopIndex = offset + passed;
      break;
    }
    offset += wanted;
  }
  platform_.Close(file);
  return exam;
}

std::int32_t ContentCheck::TestFile(const std::u16string& path, std::uint32_t attributes) {
  progress_.TestStarted();
  const FileExamination exam = Examine(path, attributes);  // the file is closed again here
  if (exam.length < 2) return 0;
  progress_.FileExamined(exam.length, exam.stopIndex);
  return exam.AllKeyboard() && exam.hasSeparator ? 1 : 0;
}

}  // namespace escaner
