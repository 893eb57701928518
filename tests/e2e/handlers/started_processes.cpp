#include "e2e/handlers/started_processes.h"

#include "support/json_event.h"
#include "support/process_tree.h"

namespace escaner_test {

using escaner_test::Emit;
using escaner_test::Format;
using escaner_test::JsonBool;
using escaner_test::JsonWide;

void StartedProcesses::Note() {
  for (const auto& [pid, image] : escaner_test::DescendantsOf(root_)) {
    // A process caught while Wine still creates it has no image name yet:
    // it is noted at a later look, named.
    if (image.empty()) continue;
    if (!seen_.emplace(pid, image).second) continue;
    if (boxDismissed_) opened_.insert(pid);
    Emit(Format("{\"event\":\"process_started\",\"pid\":%lu,\"after_box\":", pid) +
         JsonBool(boxDismissed_) + ",\"image\":" + JsonWide(image) + "}");
  }
}

std::vector<std::wstring> StartedProcesses::Images() const {
  std::vector<std::wstring> images;
  for (const auto& [pid, image] : seen_) images.push_back(image);
  return images;
}

}  // namespace escaner_test
