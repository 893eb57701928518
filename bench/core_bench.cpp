// Native benchmarks of the portable core: the content test's decision on
// keyboard-only and binary data, the walk over a large fake tree, and the
// cost of a StayResponsive point that is not due.
#include <benchmark/benchmark.h>

#include <atomic>
#include <iterator>
#include <random>
#include <vector>

#include "fake/fake_platform.h"
#include "scan/content_check.h"
#include "scan/keyboard_set.h"
#include "scan/keyboard_scan.h"
#include "scan/passes.h"
#include "ui/answer_pacer.h"

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
// the set in random order (the worst case), and ordinary text; first as the
// product chooses, then by each path the processor runs.
std::string BenchText(std::int64_t spanish) {
  return spanish == 0 ? KeyboardText(ContentCheck::kFirstChunkSize)
                      : SpanishText(ContentCheck::kFirstChunkSize);
}

void BM_ScanKeyboardBytes(benchmark::State& state) {
  const std::string text = BenchText(state.range(0));
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

void BM_ScanKeyboardBytesWith(benchmark::State& state) {
  using keyboard_scan_detail::kAllScanPaths;
  const keyboard_scan_detail::ScanPath path =
      kAllScanPaths[static_cast<std::size_t>(state.range(0))];
  if (!keyboard_scan_detail::ProcessorRuns(path)) {
    state.SkipWithError("this processor lacks the path");
    return;
  }
  state.SetLabel(keyboard_scan_detail::ScanPathName(path));
  const std::string text = BenchText(state.range(1));
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (auto _ : state) {
    bool separator = false;
    benchmark::DoNotOptimize(
        keyboard_scan_detail::ScanKeyboardBytesWith(path, bytes, text.size(), separator));
    benchmark::DoNotOptimize(separator);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ScanKeyboardBytesWith)
    ->ArgNames({"path", "spanish"})
    ->ArgsProduct(
        {benchmark::CreateDenseRange(0, std::size(keyboard_scan_detail::kAllScanPaths) - 1, 1),
         {0, 1}});

// TestFile end to end against the fake: read in chunks, decide, drive the bar.
void BM_TestFileKeyboardOnly(benchmark::State& state) {
  escaner_test::FakePlatform fake;
  const auto size = static_cast<std::size_t>(state.range(0));
  fake.AddFile("T:\\big.txt", KeyboardText(size));
  const ScanCounters counters{1, 0, 1};
  ScanProgress progress(fake, counters);
  ContentCheck test(fake, progress);
  const std::uint64_t listed = fake.ListedLength("T:\\big.txt");
  for (auto _ : state) {
    fake.calls.clear();
    benchmark::DoNotOptimize(test.TestFile(u"T:\\big.txt", 0, listed));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_TestFileKeyboardOnly)->Arg(1 << 20)->Arg(16 << 20);

// What TestFile is held against: the same file through the same fake, read in
// 64 KiB chunks, each byte looked up in the classification table.
void BM_ReadWithTableCheck(benchmark::State& state) {
  escaner_test::FakePlatform fake;
  const auto size = static_cast<std::size_t>(state.range(0));
  fake.AddFile("T:\\big.txt", KeyboardText(size));
  const ByteClassTable& table = KeyboardClassTable();
  std::vector<unsigned char> chunk(ContentCheck::kFirstChunkSize);
  for (auto _ : state) {
    fake.calls.clear();
    const FileHandle file = fake.OpenForReading(u"T:\\big.txt");
    std::uint8_t all = kIsKeyboard;
    for (std::size_t got; (got = fake.Read(file, chunk.data(), chunk.size())) != 0;) {
      for (std::size_t i = 0; i < got; ++i) all &= table[chunk[i]];
    }
    fake.Close(file);
    benchmark::DoNotOptimize(all);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ReadWithTableCheck)->Arg(1 << 20)->Arg(16 << 20);

void BM_TestFileBinaryStopsAtOnce(benchmark::State& state) {
  escaner_test::FakePlatform fake;
  fake.AddRepeatingFile("T:\\big.bin", std::string("MZ\x90\x00", 4), std::uint64_t{1} << 30);
  const ScanCounters counters{1, 0, 1};
  ScanProgress progress(fake, counters);
  ContentCheck test(fake, progress);
  const std::uint64_t listed = fake.ListedLength("T:\\big.bin");
  for (auto _ : state) {
    fake.calls.clear();
    benchmark::DoNotOptimize(test.TestFile(u"T:\\big.bin", 0, listed));
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

// The strip's clock as Escaner.exe reads it: a value the system keeps in
// memory shared with the process (GetTickCount64), here one that another
// thread could change.
class SharedMemoryClock final : public ui::Clock {
 public:
  std::uint64_t Milliseconds() const override { return now.load(std::memory_order_relaxed); }
  std::atomic<std::uint64_t> now{1000};
};

// What each folder opened, entry listed, chunk read and report line costs
// the scan between two answers: the pacer asked, and not yet due.
void BM_StayResponsivePointNotDue(benchmark::State& state) {
  SharedMemoryClock clock;
  ui::AnswerPacer answers(clock, ui::kAnswerMilliseconds);
  answers.Answered();
  for (auto _ : state) benchmark::DoNotOptimize(answers.Due());
}
BENCHMARK(BM_StayResponsivePointNotDue);

}  // namespace
}  // namespace escaner

BENCHMARK_MAIN();
