#include "scan/content_test.h"

#include <algorithm>

#include "scan/keyboard_set.h"

namespace escaner {

std::size_t ScanKeyboardBytes(const unsigned char* bytes, std::size_t size, bool& hasSeparator) {
  const ByteClassTable& table = KeyboardClassTable();
  std::uint8_t seen = 0;
  std::size_t i = 0;
  // Eight bytes at a time while all are in the set; the tail and the block
  // holding the first outsider go byte by byte.
  for (; i + 8 <= size; i += 8) {
    const std::uint8_t c0 = table[bytes[i]], c1 = table[bytes[i + 1]], c2 = table[bytes[i + 2]],
                       c3 = table[bytes[i + 3]], c4 = table[bytes[i + 4]], c5 = table[bytes[i + 5]],
                       c6 = table[bytes[i + 6]], c7 = table[bytes[i + 7]];
    if (!(c0 & c1 & c2 & c3 & c4 & c5 & c6 & c7 & kIsKeyboard)) break;
    seen |= static_cast<std::uint8_t>(c0 | c1 | c2 | c3 | c4 | c5 | c6 | c7);
  }
  for (; i < size; ++i) {
    const std::uint8_t c = table[bytes[i]];
    if (!(c & kIsKeyboard)) break;
    seen |= c;
  }
  if (seen & kIsSeparator) hasSeparator = true;
  return i;
}

ContentTest::ContentTest(Platform& platform)
    : platform_(platform), chunk_(std::make_unique<unsigned char[]>(kChunkSize)) {}

FileExamination ContentTest::Examine(const std::string& path) {
  FileExamination exam;
  if (!IsOpenablePath(path)) return exam;
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
  while (offset < length) {
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(kChunkSize, length - offset));
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

void ContentTest::DriveFileBar(const FileExamination& exam, const ScanCounters& counters) {
  // Byte i shows 100 - (100 * i) / U. Only the bytes where that value
  // changes are sent: the bar passes through the same pictures, at most 101
  // of them, however long the file.
  const std::uint64_t last = exam.length - 1;  // U
  const std::uint64_t stop = exam.AllKeyboard() ? last : exam.stopIndex;
  std::uint64_t i = 0;
  for (;;) {
    const std::uint64_t fallen = (100 * i) / last;
    platform_.SetBarPosition(Bar::File, static_cast<std::int32_t>(100 - fallen));
    platform_.SetBarColor(Bar::File, kOrange);
    platform_.RepaintNow(PaintTarget::FileBar);
    if (fallen == 100) break;
    const std::uint64_t next = ((fallen + 1) * last + 99) / 100;  // first byte showing less
    if (next > stop) break;
    i = next;
  }
  if (!exam.AllKeyboard()) {
    platform_.SetBarPosition(Bar::File, Percent(counters.FilesInfected, counters.FilesScanned, 0));
    platform_.SetBarColor(Bar::File, kRed);
    platform_.RepaintNow(PaintTarget::FileBar);
  }
}

std::int32_t ContentTest::TestFile(const std::string& path, const ScanCounters& counters) {
  platform_.RepaintNow(PaintTarget::Window);
  platform_.ShowNoActivate();
  const FileExamination exam = Examine(path);  // the file is closed again here
  if (exam.length < 2) return 0;
  DriveFileBar(exam, counters);
  return exam.AllKeyboard() && exam.hasSeparator ? 1 : 0;
}

}  // namespace escaner
