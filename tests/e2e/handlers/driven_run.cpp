#include "e2e/handlers/driven_run.h"

#include <windows.h>

#include <set>

#include "e2e/handlers/folder_dialog_handler.h"
#include "e2e/handlers/message_box_handler.h"
#include "e2e/handlers/opened_program_handler.h"
#include "e2e/handlers/started_processes.h"
#include "e2e/handlers/strip_handler.h"
#include "e2e/handlers/strip_prober.h"
#include "support/deadline.h"
#include "support/json_event.h"
#include "support/program_closing.h"
#include "support/remote_window.h"
#include "support/started_program.h"
#include "support/window_kind.h"

namespace escaner_test {

using escaner_test::Deadline;
using escaner_test::Emit;
using escaner_test::Format;
using escaner_test::JsonBool;
using escaner_test::JsonWide;
using escaner_test::StoredText;
using escaner_test::WindowKind;

namespace {

constexpr DWORD kPollMs = 5;

class Run {
 public:
  explicit Run(const RunOptions& options)
      : options_(options),
        deadline_(options.timeout),
        program_(options.exe, options.args, options.cwd),
        started_(program_.Pid()),
        folderDialog_(program_.Process(), deadline_, options.choose),
        messageBox_(started_, strip_, deadline_),
        openedProgram_(started_, options.openWait),
        stripProber_(options.probeStripMs) {}

  int Execute() {
    if (!program_.Started()) {
      Emit(Format("{\"event\":\"start_failed\",\"error\":%lu}", program_.StartError()));
      return 3;
    }
    RECT desktop{};
    GetWindowRect(GetDesktopWindow(), &desktop);
    Emit("{\"event\":\"started\",\"command_line\":" + JsonWide(program_.CommandLine()) +
         ",\"desktop\":" + escaner_test::JsonRect(desktop) + Format(",\"acp\":%u}", GetACP()));
    if (!WatchUntilExit()) return Hung();
    stripProber_.Report();
    const DWORD code = program_.WaitForExit(0).value_or(0);
    openedProgram_.WatchAndClose();
    Emit(Format("{\"event\":\"exit\",\"code\":%lu}", code));
    return 0;
  }

 private:
  // Meets each visible window of the exe, round after round, until the exe
  // ends (true) or the deadline passes (false).
  bool WatchUntilExit() {
    double nextSnapshotMs = 0;
    for (;;) {
      for (HWND window : escaner_test::TopLevelWindowsOf({program_.Pid()})) {
        if (IsWindowVisible(window)) Meet(window);
      }
      strip_.NoteIfClosed();
      // A process snapshot is slow next to the window reads: take one now and
      // then, so the short-lived strip is sampled often.
      if (escaner_test::NowMs() >= nextSnapshotMs) {
        started_.Note();
        nextSnapshotMs = escaner_test::NowMs() + 100;
      }
      if (program_.WaitForEnd(kPollMs)) {
        strip_.NoteIfClosed();
        return true;
      }
      if (deadline_.Passed()) return false;
    }
  }

  void Meet(HWND window) {
    const WindowKind kind = escaner_test::Classify(window);
    if (announced_.insert(window).second)
      Emit(Format("{\"event\":\"window\",\"kind\":\"%s\",\"class\":", KindName(kind)) +
           JsonWide(escaner_test::ClassOf(window)) + ",\"title\":" + JsonWide(StoredText(window)) +
           "}");
    switch (kind) {
      case WindowKind::FolderDialog:
        folderDialog_.Meet(window);
        break;
      case WindowKind::Strip:
        strip_.Meet(window);
        stripProber_.Meet(window);
        break;
      case WindowKind::MessageBox:
        messageBox_.Meet(window);
        break;
      case WindowKind::Notepad:
      case WindowKind::Other:
        break;
    }
  }

  int Hung() {
    std::string windows = "[";
    for (HWND window : escaner_test::TopLevelWindowsOf({program_.Pid()})) {
      if (windows.size() > 1) windows += ",";
      windows += Format("{\"kind\":\"%s\",\"visible\":", KindName(escaner_test::Classify(window))) +
                 JsonBool(IsWindowVisible(window)) + ",\"title\":" + JsonWide(StoredText(window)) +
                 "}";
    }
    Emit("{\"event\":\"hung\",\"windows\":" + windows + "]}");
    // The caller takes its screenshot now and then creates the flag file.
    if (!options_.hangFlag.empty()) {
      escaner_test::PollUntil(
          [&] { return GetFileAttributesW(options_.hangFlag.c_str()) != INVALID_FILE_ATTRIBUTES; },
          Deadline(20), 50);
    }
    started_.Note();
    escaner_test::EndProcess(program_.Process());
    for (DWORD pid : started_.Opened()) escaner_test::EndProcess(pid);
    Emit("{\"event\":\"killed\"}");
    return 2;
  }

  const RunOptions& options_;
  Deadline deadline_;
  escaner_test::StartedProgram program_;
  StartedProcesses started_;
  StripHandler strip_;
  FolderDialogHandler folderDialog_;
  MessageBoxHandler messageBox_;
  OpenedProgramHandler openedProgram_;
  StripProber stripProber_;
  std::set<HWND> announced_;
};

}  // namespace

int DriveRun(const RunOptions& options) { return Run(options).Execute(); }

}  // namespace escaner_test
