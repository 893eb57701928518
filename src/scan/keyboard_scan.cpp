#include "scan/keyboard_scan.h"

#include <cstdint>

#include "scan/keyboard_set.h"

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#include <emmintrin.h>
#define ESCANER_SSE2_BLOCKS 1
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

#ifdef ESCANER_SSE2_BLOCKS
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

bool ProcessorHasSse2() {
  static const bool hasSse2 = __builtin_cpu_supports("sse2");
  return hasSse2;
}
#endif

}  // namespace

std::size_t ScanKeyboardBytes(const unsigned char* bytes, std::size_t size, bool& hasSeparator) {
#ifdef ESCANER_SSE2_BLOCKS
  if (ProcessorHasSse2()) return ScanBySse2(bytes, size, hasSeparator);
#endif
  return ScanByTable(bytes, size, hasSeparator);
}

}  // namespace escaner
