#include "scan/keyboard_scan.h"

#include <cstdint>

#include "scan/keyboard_set.h"

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#include <immintrin.h>
#define ESCANER_X86_PATHS 1
#endif

namespace escaner {

namespace {

// The set judged by the table, eight bytes at a time while all are in it;
// the tail and the block holding the first outsider go byte by byte.
std::size_t ScanByTable(const unsigned char* bytes, std::size_t size, bool& hasSeparator) {
  const ByteClassTable& table = KeyboardClassTable();
  std::uint8_t seen = 0;
  std::size_t i = 0;
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

#ifdef ESCANER_X86_PATHS
// Keyboard text is mostly plain ASCII: a block of 16 bytes all in 20..7E and
// none '<' passes in a few instructions. Compiled for SSE2 on its own and used
// only where the processor has it, since the 32-bit build otherwise targets
// processors without it.
__attribute__((target("sse2"))) std::size_t ScanBySse2(const unsigned char* bytes, std::size_t size,
                                                       bool& hasSeparator) {
  // Adding 60 maps 20..7E onto 80..DE, the signed bytes up to -34.
  const __m128i shift = _mm_set1_epi8(0x60);
  const __m128i highest = _mm_set1_epi8(-34);
  const __m128i lessThan = _mm_set1_epi8('<');
  const __m128i slash = _mm_set1_epi8('/');
  const __m128i backslash = _mm_set1_epi8('\\');
  const ByteClassTable& table = KeyboardClassTable();
  __m128i separators = _mm_setzero_si128();
  std::size_t i = 0;
  for (; i + 16 <= size; i += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
    const __m128i notPlain = _mm_or_si128(_mm_cmpgt_epi8(_mm_add_epi8(block, shift), highest),
                                          _mm_cmpeq_epi8(block, lessThan));
    // A block that is not plain ASCII: the Spanish letters and signs of the
    // set pass by comparison; anything else is judged by the table, all
    // sixteen bytes without a branch, and the block holding an outsider is
    // then walked to find it.
    if (_mm_movemask_epi8(notPlain) != 0) {
      __m128i accented = _mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(0xE1)));
      for (const int letter : {0xE9, 0xED, 0xF3, 0xFA, 0xF1, 0xBF, 0xA1}) {
        accented =
            _mm_or_si128(accented, _mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(letter))));
      }
      if (_mm_movemask_epi8(_mm_andnot_si128(accented, notPlain)) != 0) {
        const unsigned char* b = bytes + i;
        const std::uint8_t all = table[b[0]] & table[b[1]] & table[b[2]] & table[b[3]] &
                                 table[b[4]] & table[b[5]] & table[b[6]] & table[b[7]] &
                                 table[b[8]] & table[b[9]] & table[b[10]] & table[b[11]] &
                                 table[b[12]] & table[b[13]] & table[b[14]] & table[b[15]];
        if (!(all & kIsKeyboard)) {
          if (_mm_movemask_epi8(separators) != 0) hasSeparator = true;
          return i + ScanByTable(b, 16, hasSeparator);
        }
      }
    }
    separators = _mm_or_si128(
        separators, _mm_or_si128(_mm_cmpeq_epi8(block, slash), _mm_cmpeq_epi8(block, backslash)));
  }
  if (_mm_movemask_epi8(separators) != 0) hasSeparator = true;
  return i + ScanByTable(bytes + i, size - i, hasSeparator);
}

// The whole set by two lookups of four bits each (pshufb): the low half of a
// byte picks a row of eight bits, one for each value of its high half within
// the same half of the byte range, and the high half picks the bit. No byte is
// judged twice and no block needs the table, so a block ends at once at its
// first outsider.
struct NibbleTables {
  alignas(16) std::uint8_t lowRows[2][16];  // [high half / 8][low half]
  alignas(16) std::uint8_t highBits[16];    // 1 << (high half % 8)
};

const NibbleTables& KeyboardNibbleTables() {
  static const NibbleTables tables = [] {
    NibbleTables built{};
    const ByteClassTable& table = KeyboardClassTable();
    for (unsigned value = 0; value < 256; ++value) {
      const unsigned high = value >> 4, low = value & 15;
      if (table[value] & kIsKeyboard)
        built.lowRows[high / 8][low] |= std::uint8_t(1u << (high % 8));
    }
    for (unsigned high = 0; high < 16; ++high)
      built.highBits[high] = std::uint8_t(1u << (high % 8));
    return built;
  }();
  return tables;
}

// Blocks of 64 bytes, one branch each: the bytes outside the set and the
// separators as bit masks, bit n for byte n of the block.
constexpr std::size_t kWideBlock = 64;

std::size_t StopInBlock(std::uint64_t outsiders, std::uint64_t separators, bool& hasSeparator) {
  const auto stop = static_cast<unsigned>(__builtin_ctzll(outsiders));
  if (separators & ((std::uint64_t{1} << stop) - 1)) hasSeparator = true;
  return stop;
}

std::uint64_t MaskBits(int mask, unsigned shift) {
  return std::uint64_t{static_cast<std::uint32_t>(mask)} << shift;
}

// Lookups of a byte with its high bit set come out zero in pshufb: the low
// rows answer for 00..7F, the high rows (the byte's high bit flipped) for
// 80..FF.
__attribute__((target("ssse3"), always_inline)) inline __m128i Ssse3Outsiders(__m128i block,
                                                                              __m128i rowsLow,
                                                                              __m128i rowsHigh,
                                                                              __m128i highBits) {
  const __m128i rows =
      _mm_or_si128(_mm_shuffle_epi8(rowsLow, block),
                   _mm_shuffle_epi8(rowsHigh, _mm_xor_si128(block, _mm_set1_epi8(-128))));
  const __m128i high = _mm_and_si128(_mm_srli_epi16(block, 4), _mm_set1_epi8(0x0F));
  const __m128i members = _mm_and_si128(rows, _mm_shuffle_epi8(highBits, high));
  return _mm_cmpeq_epi8(members, _mm_setzero_si128());
}

__attribute__((target("ssse3"), always_inline)) inline __m128i Ssse3Separators(__m128i block) {
  return _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('/')),
                      _mm_cmpeq_epi8(block, _mm_set1_epi8('\\')));
}

__attribute__((target("ssse3"))) std::size_t ScanBySsse3(const unsigned char* bytes,
                                                         std::size_t size, bool& hasSeparator) {
  const NibbleTables& tables = KeyboardNibbleTables();
  const __m128i rowsLow = _mm_load_si128(reinterpret_cast<const __m128i*>(tables.lowRows[0]));
  const __m128i rowsHigh = _mm_load_si128(reinterpret_cast<const __m128i*>(tables.lowRows[1]));
  const __m128i highBits = _mm_load_si128(reinterpret_cast<const __m128i*>(tables.highBits));
  std::size_t i = 0;
  // Separators are looked for only until the first one: in later blocks, and
  // in the later chunks of the same file, only the set is judged.
  for (; !hasSeparator && i + kWideBlock <= size; i += kWideBlock) {
    const auto* at = reinterpret_cast<const __m128i*>(bytes + i);
    const __m128i b0 = _mm_loadu_si128(at), b1 = _mm_loadu_si128(at + 1),
                  b2 = _mm_loadu_si128(at + 2), b3 = _mm_loadu_si128(at + 3);
    const __m128i o0 = Ssse3Outsiders(b0, rowsLow, rowsHigh, highBits),
                  o1 = Ssse3Outsiders(b1, rowsLow, rowsHigh, highBits),
                  o2 = Ssse3Outsiders(b2, rowsLow, rowsHigh, highBits),
                  o3 = Ssse3Outsiders(b3, rowsLow, rowsHigh, highBits);
    const __m128i s0 = Ssse3Separators(b0), s1 = Ssse3Separators(b1), s2 = Ssse3Separators(b2),
                  s3 = Ssse3Separators(b3);
    const __m128i separators = _mm_or_si128(_mm_or_si128(s0, s1), _mm_or_si128(s2, s3));
    if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(o0, o1), _mm_or_si128(o2, o3))) != 0) {
      const std::uint64_t outsiders =
          MaskBits(_mm_movemask_epi8(o0), 0) | MaskBits(_mm_movemask_epi8(o1), 16) |
          MaskBits(_mm_movemask_epi8(o2), 32) | MaskBits(_mm_movemask_epi8(o3), 48);
      const std::uint64_t separatorBits =
          MaskBits(_mm_movemask_epi8(s0), 0) | MaskBits(_mm_movemask_epi8(s1), 16) |
          MaskBits(_mm_movemask_epi8(s2), 32) | MaskBits(_mm_movemask_epi8(s3), 48);
      return i + StopInBlock(outsiders, separatorBits, hasSeparator);
    }
    if (_mm_movemask_epi8(separators) != 0) hasSeparator = true;
  }
  for (; i + kWideBlock <= size; i += kWideBlock) {
    const auto* at = reinterpret_cast<const __m128i*>(bytes + i);
    const __m128i o0 = Ssse3Outsiders(_mm_loadu_si128(at), rowsLow, rowsHigh, highBits),
                  o1 = Ssse3Outsiders(_mm_loadu_si128(at + 1), rowsLow, rowsHigh, highBits),
                  o2 = Ssse3Outsiders(_mm_loadu_si128(at + 2), rowsLow, rowsHigh, highBits),
                  o3 = Ssse3Outsiders(_mm_loadu_si128(at + 3), rowsLow, rowsHigh, highBits);
    if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(o0, o1), _mm_or_si128(o2, o3))) != 0) {
      const std::uint64_t outsiders =
          MaskBits(_mm_movemask_epi8(o0), 0) | MaskBits(_mm_movemask_epi8(o1), 16) |
          MaskBits(_mm_movemask_epi8(o2), 32) | MaskBits(_mm_movemask_epi8(o3), 48);
      return i + static_cast<std::size_t>(__builtin_ctzll(outsiders));
    }
  }
  return i + ScanByTable(bytes + i, size - i, hasSeparator);
}

// The same lookups on 32 bytes; pshufb works within each 16-byte lane, so
// every table is repeated in both lanes.
__attribute__((target("avx2"), always_inline)) inline __m256i Avx2Outsiders(__m256i block,
                                                                            __m256i rowsLow,
                                                                            __m256i rowsHigh,
                                                                            __m256i highBits) {
  const __m256i rows = _mm256_or_si256(
      _mm256_shuffle_epi8(rowsLow, block),
      _mm256_shuffle_epi8(rowsHigh, _mm256_xor_si256(block, _mm256_set1_epi8(-128))));
  const __m256i high = _mm256_and_si256(_mm256_srli_epi16(block, 4), _mm256_set1_epi8(0x0F));
  const __m256i members = _mm256_and_si256(rows, _mm256_shuffle_epi8(highBits, high));
  return _mm256_cmpeq_epi8(members, _mm256_setzero_si256());
}

__attribute__((target("avx2"), always_inline)) inline __m256i Avx2Separators(__m256i block) {
  return _mm256_or_si256(_mm256_cmpeq_epi8(block, _mm256_set1_epi8('/')),
                         _mm256_cmpeq_epi8(block, _mm256_set1_epi8('\\')));
}

__attribute__((target("avx2"))) std::size_t ScanByAvx2(const unsigned char* bytes, std::size_t size,
                                                       bool& hasSeparator) {
  const NibbleTables& tables = KeyboardNibbleTables();
  const __m256i rowsLow = _mm256_broadcastsi128_si256(
      _mm_load_si128(reinterpret_cast<const __m128i*>(tables.lowRows[0])));
  const __m256i rowsHigh = _mm256_broadcastsi128_si256(
      _mm_load_si128(reinterpret_cast<const __m128i*>(tables.lowRows[1])));
  const __m256i highBits = _mm256_broadcastsi128_si256(
      _mm_load_si128(reinterpret_cast<const __m128i*>(tables.highBits)));
  std::size_t i = 0;
  for (; !hasSeparator && i + kWideBlock <= size; i += kWideBlock) {
    const auto* at = reinterpret_cast<const __m256i*>(bytes + i);
    const __m256i b0 = _mm256_loadu_si256(at), b1 = _mm256_loadu_si256(at + 1);
    const __m256i o0 = Avx2Outsiders(b0, rowsLow, rowsHigh, highBits),
                  o1 = Avx2Outsiders(b1, rowsLow, rowsHigh, highBits);
    const __m256i s0 = Avx2Separators(b0), s1 = Avx2Separators(b1);
    const __m256i anyOutsider = _mm256_or_si256(o0, o1);
    if (!_mm256_testz_si256(anyOutsider, anyOutsider)) {
      const std::uint64_t outsiders =
          MaskBits(_mm256_movemask_epi8(o0), 0) | MaskBits(_mm256_movemask_epi8(o1), 32);
      const std::uint64_t separatorBits =
          MaskBits(_mm256_movemask_epi8(s0), 0) | MaskBits(_mm256_movemask_epi8(s1), 32);
      return i + StopInBlock(outsiders, separatorBits, hasSeparator);
    }
    const __m256i separators = _mm256_or_si256(s0, s1);
    if (!_mm256_testz_si256(separators, separators)) hasSeparator = true;
  }
  for (; i + kWideBlock <= size; i += kWideBlock) {
    const auto* at = reinterpret_cast<const __m256i*>(bytes + i);
    const __m256i o0 = Avx2Outsiders(_mm256_loadu_si256(at), rowsLow, rowsHigh, highBits),
                  o1 = Avx2Outsiders(_mm256_loadu_si256(at + 1), rowsLow, rowsHigh, highBits);
    const __m256i anyOutsider = _mm256_or_si256(o0, o1);
    if (!_mm256_testz_si256(anyOutsider, anyOutsider)) {
      const std::uint64_t outsiders =
          MaskBits(_mm256_movemask_epi8(o0), 0) | MaskBits(_mm256_movemask_epi8(o1), 32);
      return i + static_cast<std::size_t>(__builtin_ctzll(outsiders));
    }
  }
  return i + ScanByTable(bytes + i, size - i, hasSeparator);
}
#endif

using ScanFunction = std::size_t (*)(const unsigned char*, std::size_t, bool&);

ScanFunction FunctionOf(keyboard_scan_detail::ScanPath path) {
  using keyboard_scan_detail::ScanPath;
  switch (path) {
#ifdef ESCANER_X86_PATHS
    case ScanPath::kSse2:
      return ScanBySse2;
    case ScanPath::kSsse3:
      return ScanBySsse3;
    case ScanPath::kAvx2:
      return ScanByAvx2;
#endif
    default:
      return ScanByTable;
  }
}

}  // namespace

namespace keyboard_scan_detail {

const char* ScanPathName(ScanPath path) {
  switch (path) {
    case ScanPath::kTable:
      return "table";
    case ScanPath::kSse2:
      return "SSE2";
    case ScanPath::kSsse3:
      return "SSSE3";
    case ScanPath::kAvx2:
      return "AVX2";
  }
  return "?";
}

bool ProcessorRuns(ScanPath path) {
#ifdef ESCANER_X86_PATHS
  __builtin_cpu_init();
  switch (path) {
    case ScanPath::kTable:
      return true;
    case ScanPath::kSse2:
      return __builtin_cpu_supports("sse2");
    case ScanPath::kSsse3:
      return __builtin_cpu_supports("ssse3");
    case ScanPath::kAvx2:
      // Also false where the system does not keep the wide registers.
      return __builtin_cpu_supports("avx2");
  }
  return false;
#else
  return path == ScanPath::kTable;
#endif
}

ScanPath ChosenScanPath() {
  static const ScanPath chosen = [] {
    ScanPath widest = ScanPath::kTable;
    for (const ScanPath path : kAllScanPaths) {
      if (ProcessorRuns(path)) widest = path;
    }
    return widest;
  }();
  return chosen;
}

std::size_t ScanKeyboardBytesWith(ScanPath path, const unsigned char* bytes, std::size_t size,
                                  bool& hasSeparator) {
  return FunctionOf(path)(bytes, size, hasSeparator);
}

}  // namespace keyboard_scan_detail

std::size_t ScanKeyboardBytes(const unsigned char* bytes, std::size_t size, bool& hasSeparator) {
  static const ScanFunction chosen = FunctionOf(keyboard_scan_detail::ChosenScanPath());
  return chosen(bytes, size, hasSeparator);
}

}  // namespace escaner
