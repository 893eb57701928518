// Native benchmarks of the portable core: the content test's decision on
// keyboard-only and binary data, and the walk over a large fake tree.
#include <benchmark/benchmark.h>

#include <random>

#include "fake/fake_platform.h"
#include "scan/content_check.h"
#include "scan/keyboard_set.h"
#include "scan/keyboard_scan.h"
#include "scan/passes.h"

namespace escaner {
namespace {

std::string KeyboardText(std::size_t size) {
  std::mt19937 random(7);
  std::string text(size, ' ');
  for (char& c : text) c = KeyboardCharsA[random() % KeyboardCharsA.size()];
  return text;
}

// Spanish prose and paths: mostly ASCII, an accented letter now and then.
std::string SpanishText(std::size_t size) {
  const std::string sample =
      "C:\\Archivos de programa\\Velmar el a\xF1o de la regi\xF3n, seg\xFAn el informe ";
  std::string text;
  while (text.size() < size) text += sample;
  text.resize(size);
  return text;
}

// The per-byte decision alone, over data already in memory: every value of
// the set in random order (the worst case), and ordinary text.
void BM_ScanKeyboardBytes(benchmark::State& state) {
  const std::string text = state.range(0) == 0 ? KeyboardText(ContentCheck::kFirstChunkSize)
                                               : SpanishText(ContentCheck::kFirstChunkSize);
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (auto _ : state) {
    bool separator = false;
    benchmark::DoNotOptimize(ScanKeyboardBytes(bytes, text.size(), separator));
    benchmark::DoNotOptimize(separator);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ScanKeyboardBytes)->ArgName("spanish")->Arg(0)->Arg(1);

// TestFile end to end against the fake: read in chunks, decide, drive the bar.
void BM_TestFileKeyboardOnly(benchmark::State& state) {
  escaner_test::FakePlatform fake;
  const auto size = static_cast<std::size_t>(state.range(0));
  fake.AddFile("T:\\big.txt", KeyboardText(size));
  const ScanCounters counters{1, 0, 1};
  ScanProgress progress(fake, counters);
  ContentCheck test(fake, progress);
  for (auto _ : state) {
    fake.calls.clear();
    benchmark::DoNotOptimize(test.TestFile(u"T:\\big.txt", 0));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_TestFileKeyboardOnly)->Arg(1 << 20)->Arg(16 << 20);

void BM_TestFileBinaryStopsAtOnce(benchmark::State& state) {
  escaner_test::FakePlatform fake;
  fake.AddRepeatingFile("T:\\big.bin", std::string("MZ\x90\x00", 4), std::uint64_t{1} << 30);
  const ScanCounters counters{1, 0, 1};
  ScanProgress progress(fake, counters);
  ContentCheck test(fake, progress);
  for (auto _ : state) {
    fake.calls.clear();
    benchmark::DoNotOptimize(test.TestFile(u"T:\\big.bin", 0));
  }
}
BENCHMARK(BM_TestFileBinaryStopsAtOnce);

// Both passes over 20,000 small files in 2,000 folders.
void BM_WalkLargeTree(benchmark::State& state) {
  escaner_test::FakePlatform fake;
  for (int folder = 0; folder < 2000; ++folder) {
    const std::string path =
        "T:\\tree\\d" + std::to_string(folder / 50) + "\\e" + std::to_string(folder) + "\\";
    for (int file = 0; file < 10; ++file)
      fake.AddFile(path + "file" + std::to_string(file) + ".dat", "MZ\x90");
  }
  for (auto _ : state) {
    fake.calls.clear();
    ScanCounters counters;
    CountFiles(fake, u"T:\\tree\\", counters);
    ScanProgress progress(fake, counters);
    ContentCheck test(fake, progress);
    Report report(fake);
    ScanFolder(fake, u"T:\\tree\\", counters, progress, test, report);
    benchmark::DoNotOptimize(counters.FilesDone);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 20000);
}
BENCHMARK(BM_WalkLargeTree)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace escaner

BENCHMARK_MAIN();
