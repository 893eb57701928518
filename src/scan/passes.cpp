#include "scan/passes.h"

#include "scan/tree_walk.h"

namespace escaner {
namespace {

class CountingStep final : public FileVisitor {
 public:
  explicit CountingStep(ScanCounters& counters) : counters_(counters) {}
  void VisitFile(const std::u16string&, std::uint32_t, std::uint64_t) override {
    ++counters_.FilesScanned;
  }

 private:
  ScanCounters& counters_;
};

class ScanningStep final : public FileVisitor {
 public:
  ScanningStep(ScanCounters& counters, ScanProgress& progress, ContentCheck& contentCheck,
               Report& report)
      : counters_(counters), progress_(progress), contentCheck_(contentCheck), report_(report) {}

  void VisitFile(const std::u16string& path, std::uint32_t attributes,
                 std::uint64_t listedLength) override {
    ++counters_.FilesDone;
    progress_.FileReached();
    if (contentCheck_.TestFile(path, attributes, listedLength) != 0) {
      ++counters_.FilesInfected;
      report_.LogInfected(path);
    }
  }

 private:
  ScanCounters& counters_;
  ScanProgress& progress_;
  ContentCheck& contentCheck_;
  Report& report_;
};

}  // namespace

void CountFiles(Platform& platform, const std::u16string& folder, ScanCounters& counters) {
  CountingStep step(counters);
  TreeWalker(platform).Walk(folder, step);
}

void ScanFolder(Platform& platform, const std::u16string& folder, ScanCounters& counters,
                ScanProgress& progress, ContentCheck& contentCheck, Report& report) {
  ScanningStep step(counters, progress, contentCheck, report);
  TreeWalker(platform).Walk(folder, step);
}

}  // namespace escaner
