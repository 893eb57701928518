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

// The paths themselves, so that tests and benchmarks can hold each one to the
// byte-by-byte rule on any processor that runs it. The product calls only
// ScanKeyboardBytes.
namespace keyboard_scan_detail {

// From the oldest processors to the newest; ScanKeyboardBytes takes the last
// one the running processor supports.
enum class ScanPath { kTable, kSse2, kSsse3, kAvx2 };
inline constexpr ScanPath kAllScanPaths[] = {ScanPath::kTable, ScanPath::kSse2, ScanPath::kSsse3,
                                             ScanPath::kAvx2};

const char* ScanPathName(ScanPath path);
bool ProcessorRuns(ScanPath path);
ScanPath ChosenScanPath();

// As ScanKeyboardBytes, by `path`; the caller makes sure ProcessorRuns(path).
std::size_t ScanKeyboardBytesWith(ScanPath path, const unsigned char* bytes, std::size_t size,
                                  bool& hasSeparator);

}  // namespace keyboard_scan_detail

}  // namespace escaner
