// The byte classifier of the content test: how far a run of bytes stays
// within the keyboard set, and whether a path separator comes before that
// point. Processor-specific paths are chosen at run time; each gives exactly
// what the byte-by-byte rule gives.
#pragma once

#include <cstddef>

namespace escaner {

// Scans bytes [0, size) of `bytes`; returns the index of the first byte
// outside the keyboard set (or size) and sets `hasSeparator` when a backslash
// or slash comes before that index (it is never cleared).
std::size_t ScanKeyboardBytes(const unsigned char* bytes, std::size_t size, bool& hasSeparator);

}  // namespace escaner
