#include "scan/content_check.h"

#include <algorithm>

#include "scan/keyboard_scan.h"

namespace escaner {

ContentCheck::ContentCheck(Platform& platform, ScanProgress& progress)
    : platform_(platform),
      progress_(progress),
      chunk_(std::make_unique<unsigned char[]>(kLargestChunkSize)) {}

FileExamination ContentCheck::Examine(const std::u16string& path, std::uint32_t attributes,
                                      std::uint64_t listedLength) {
  FileExamination exam;
  if (WouldRecallData(attributes) || !IsOpenablePath(path)) return exam;
  const FileHandle file = platform_.OpenForReading(path);
  if (file == kNoFile) return exam;
  if (listedLength > kMaxExaminedLength) {
    platform_.Close(file);
    return exam;
  }

  std::uint64_t offset = 0;
  std::size_t chunkSize = kFirstChunkSize;
  const auto grow = [&chunkSize] { chunkSize = std::min(2 * chunkSize, kLargestChunkSize); };
  for (; offset < listedLength; grow()) {
    platform_.StayResponsive();
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, listedLength - offset));
    const std::size_t got = std::min(platform_.Read(file, chunk_.get(), wanted), wanted);
    const std::size_t passed = ScanKeyboardBytes(chunk_.get(), got, exam.hasSeparator);
    // A failed or short read leaves the missing bytes zero, and zero is
    // outside the set: the walk stops at the first byte that did not arrive.
    if (passed < wanted) {
      platform_.Close(file);
      exam.length = listedLength;
      exam.stopIndex = offset + passed;
      return exam;
    }
    offset += wanted;
  }

  // Every listed byte passed. The listing may lag behind the file, so what
  // else arrives is judged too, up to one byte past the longest examined
  // length, which tells a file too long.
  for (;; grow()) {
    platform_.StayResponsive();
    const std::size_t wanted = static_cast<std::size_t>(
        std::min<std::uint64_t>(chunkSize, kMaxExaminedLength + 1 - offset));
    const std::size_t got = std::min(platform_.Read(file, chunk_.get(), wanted), wanted);
    if (got == 0) break;
    if (got > kMaxExaminedLength - offset) {
      platform_.Close(file);
      return FileExamination{};
    }
    const std::size_t passed = ScanKeyboardBytes(chunk_.get(), got, exam.hasSeparator);
    offset += got;
    if (passed < got) {
      platform_.Close(file);
      exam.length = offset;
      exam.stopIndex = offset - got + passed;
      return exam;
    }
  }
  platform_.Close(file);
  exam.length = offset;
  exam.stopIndex = offset;
  return exam;
}

std::int32_t ContentCheck::TestFile(const std::u16string& path, std::uint32_t attributes,
                                    std::uint64_t listedLength) {
  progress_.TestStarted();
  // The file is closed again before any bar moves.
  const FileExamination exam = Examine(path, attributes, listedLength);
  if (exam.length < 2) return 0;
  progress_.FileExamined(exam.length, exam.stopIndex);
  return exam.AllKeyboard() && exam.hasSeparator ? 1 : 0;
}

}  // namespace escaner
