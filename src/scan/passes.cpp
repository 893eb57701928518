#include "scan/passes.h"

#include "scan/report.h"
#include "scan/tree_walk.h"

namespace escaner {
namespace {

class CountingStep final : public FileVisitor {
 public:
  explicit CountingStep(ScanCounters& counters) : counters_(counters) {}
  void VisitFile(const std::u16string&, std::uint32_t) override { ++counters_.FilesScanned; }

 private:
  ScanCounters& counters_;
};

class ScanningStep final : public FileVisitor {
 public:
  ScanningStep(Platform& platform, ScanCounters& counters, ScanProgress& progress,
               ContentCheck& contentCheck)
      : platform_(platform),
        counters_(counters),
        progress_(progress),
        contentCheck_(contentCheck) {}

  void VisitFile(const std::u16string& path, std::uint32_t attributes) override {
    ++counters_.FilesDone;
    progress_.FileReached();
    if (contentCheck_.TestFile(path, attributes) != 0) {
      ++counters_.FilesInfected;
      LogInfected(platform_, path);
    }
  }

 private:
  Platform& platform_;
  ScanCounters& counters_;
  ScanProgress& progress_;
  ContentCheck& contentCheck_;
};

}  // namespace

void CountFiles(Platform& platform, const std::u16string& folder, ScanCounters& counters) {
  CountingStep step(counters);
  TreeWalker(platform).Walk(folder, step);
}

void ScanFolder(Platform& platform, const std::u16string& folder, ScanCounters& counters,
                ScanProgress& progress, ContentCheck& contentCheck) {
  ScanningStep step(platform, counters, progress, contentCheck);
  TreeWalker(platform).Walk(folder, step);
}

}  // namespace escaner
