// The whole-scan benchmark's native peer: decides the same set of files as
// Escaner, on Linux, with nothing but open, read and close.
//
//   find TREE -type f -print0 | keyboard_filter
//
// Reads NUL-separated paths on stdin and prints, one per line, those of files
// at least two bytes long (and at most 2^31, the longest Escaner holds) whose
// bytes are all in the keyboard set and include a backslash or a slash. Reads
// 64 KiB at a time and stops at the first byte outside the set. Written apart
// from the project's own code, so that agreeing with it means something.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

constexpr std::size_t kReadSize = 64 * 1024;
constexpr std::uint64_t kLongest = std::uint64_t{1} << 31;

// 1: in the keyboard set; 3: in it and a separator.
std::array<unsigned char, 256> ByteClasses() {
  std::array<unsigned char, 256> classes{};
  for (int b = 0x20; b < 0x7F; ++b) classes[static_cast<std::size_t>(b)] = b == 0x3C ? 0 : 1;
  for (int b : {0xA1, 0xA8, 0xAA, 0xB4, 0xB7, 0xBA, 0xBF, 0xC1, 0xC7, 0xC9, 0xCD, 0xD1,
                0xD3, 0xDA, 0xDC, 0xE1, 0xE7, 0xE9, 0xED, 0xF1, 0xF3, 0xFA, 0xFC})
    classes[static_cast<std::size_t>(b)] = 1;
  classes['\\'] = classes['/'] = 3;
  return classes;
}

const std::array<unsigned char, 256> kClasses = ByteClasses();

bool Flagged(const char* path) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  bool flagged = false;
  if (fstat(fd, &info) == 0 && info.st_size >= 2 &&
      static_cast<std::uint64_t>(info.st_size) <= kLongest) {
    static unsigned char buffer[kReadSize];
    unsigned char seen = 0;
    bool allIn = true;
    std::uint64_t total = 0;
    for (ssize_t got; allIn && (got = read(fd, buffer, kReadSize)) > 0;) {
      total += static_cast<std::uint64_t>(got);
      for (ssize_t i = 0; i < got; ++i) {
        const unsigned char c = kClasses[buffer[i]];
        if (c == 0) {
          allIn = false;
          break;
        }
        seen |= c;
      }
    }
    // A file that shrank while being read holds fewer bytes than it claimed.
    flagged = allIn && total == static_cast<std::uint64_t>(info.st_size) && (seen & 2);
  }
  close(fd);
  return flagged;
}

}  // namespace

int main() {
  std::string path;
  for (int c; (c = std::getchar()) != EOF;) {
    if (c != '\0') {
      path += static_cast<char>(c);
      continue;
    }
    if (Flagged(path.c_str())) std::printf("%s\n", path.c_str());
    path.clear();
  }
  return 0;
}
