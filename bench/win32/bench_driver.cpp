// Times one whole scan of Escaner.exe from another process, under the same
// Wine prefix, for the whole-scan benchmark.
//
//   bench_driver --exe PATH --choose FOLDER [--timeout SECONDS] [--poll-ms MS]
//
// Starts the exe, chooses FOLDER in its folder dialog, and measures from the
// moment the dialog's OK is posted to the moment the final message box is
// visible. While the box is up (the scan is over, the process still alive) it
// reads the exe's peak working set with GetProcessMemoryInfo; then it reads
// the box's text, dismisses it, waits for the exe to end and closes what the
// shell's open request started. Prints one JSON line ("ok" false with an
// "error" when a step fails).
//
// The windows are found by polling every few milliseconds with calls that send
// the scanning thread nothing: the strip's thread runs no message loop, and a
// busy poll would compete with the exe for the one wineserver, so the poll is
// kept light (the windows of the exe's one thread, not the whole desktop).
// The phases (OK to strip shown, strip shown to strip gone, strip gone to
// box) come from the same poll. The folder is chosen as the end-to-end
// driver chooses it (support/folder_selection.h).
#include <windows.h>
#include <psapi.h>

#include <map>
#include <string>

#include "support/arguments.h"
#include "support/deadline.h"
#include "support/dialog_ids.h"
#include "support/folder_selection.h"
#include "support/json_event.h"
#include "support/process_tree.h"
#include "support/program_closing.h"
#include "support/remote_window.h"
#include "support/started_program.h"
#include "support/window_kind.h"

namespace {

using escaner_test::Deadline;
using escaner_test::Emit;
using escaner_test::Format;
using escaner_test::NowMs;
using escaner_test::StartedProgram;
using escaner_test::WindowKind;

// Often enough to time a scan to a few milliseconds, rarely enough that the
// poll itself (a handful of wineserver requests) does not slow the exe down:
// polling every 5 ms made a 1.4 s scan about 7% slower.
constexpr double kDefaultPollMs = 20;

// What the shell's open request started: asked to close, then ended.
int CloseStartedPrograms(const std::map<DWORD, std::wstring>& started) {
  for (const auto& [pid, image] : started) escaner_test::CloseProgram(pid, Deadline(10));
  return static_cast<int>(started.size());
}

int Fail(const char* why, const StartedProgram* program) {
  Emit(Format("{\"ok\":false,\"error\":\"%s\"}", why));
  if (program != nullptr && program->Started()) {
    const auto started = escaner_test::DescendantsOf(program->Pid());
    escaner_test::EndProcess(program->Process());
    CloseStartedPrograms(started);
  }
  return 2;
}

// A visible window of the exe's thread of the given kind, or null when the
// exe ends first or the deadline passes.
HWND WaitForWindow(const StartedProgram& program, WindowKind kind, const Deadline& deadline,
                   DWORD pollMs) {
  while (!deadline.Passed()) {
    for (HWND window : escaner_test::TopLevelWindowsOfThread(program.MainThread()))
      if (IsWindowVisible(window) && escaner_test::Classify(window) == kind) return window;
    if (program.WaitForEnd(pollMs)) return nullptr;
  }
  return nullptr;
}

double CpuMs(HANDLE process) {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(process, &created, &exited, &kernel, &user);
  auto ms = [](const FILETIME& t) {
    return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
           10000.0;
  };
  return ms(kernel) + ms(user);
}

int Run(const std::wstring& exe, const std::wstring& folder, double timeout, DWORD pollMs) {
  const Deadline deadline(timeout);
  StartedProgram program(exe, L"");
  if (!program.Started()) return Fail("start", nullptr);

  HWND dialog = WaitForWindow(program, WindowKind::FolderDialog, deadline, pollMs);
  if (dialog == nullptr) return Fail("no folder dialog", &program);
  escaner_test::WaitForFilledTree(dialog, deadline.Within(20));
  if (!escaner_test::AnswerWithFolder(program.Process(), dialog, folder, deadline).matched)
    return Fail("folder not selected", &program);

  const double okAt = NowMs();
  double stripShownAt = 0, stripGoneAt = 0, boxAt = 0;
  HWND box = nullptr;
  int polls = 0;
  while (box == nullptr) {
    if (deadline.Passed()) return Fail("timeout", &program);
    bool stripVisible = false;
    for (HWND window : escaner_test::TopLevelWindowsOfThread(program.MainThread())) {
      if (window == dialog || !IsWindowVisible(window)) continue;
      const WindowKind kind = escaner_test::Classify(window);
      if (kind == WindowKind::Strip) stripVisible = true;
      if (kind == WindowKind::MessageBox) box = window;
    }
    const double now = NowMs();
    if (stripVisible && stripShownAt == 0) stripShownAt = now;
    if (!stripVisible && stripShownAt != 0 && stripGoneAt == 0) stripGoneAt = now;
    if (box != nullptr) boxAt = now;
    ++polls;
    if (box == nullptr && program.WaitForEnd(pollMs))
      return Fail("exited before the final box", nullptr);
  }

  // The scan is over and the process still alive: its peak is final.
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  const BOOL memoryRead = GetProcessMemoryInfo(program.Process(), &memory, sizeof memory);
  // CPU time so far (user and kernel), to tell work from waiting.
  const double cpuMs = CpuMs(program.Process());

  const std::wstring text = escaner_test::SentText(GetDlgItem(box, escaner_test::kMessageTextId));
  const Deadline dismissing(10);
  while (IsWindow(box) && !dismissing.Passed()) {
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    if (program.WaitForEnd(50)) break;
  }
  std::map<DWORD, std::wstring> started;
  while (!program.WaitForEnd(20)) {
    started.merge(escaner_test::DescendantsOf(program.Pid()));
    if (deadline.Passed()) return Fail("no exit after the box", &program);
  }
  const DWORD exitCode = program.WaitForExit(0).value_or(0);
  started.merge(escaner_test::DescendantsOf(program.Pid()));
  const int closed = CloseStartedPrograms(started);

  auto phase = [](double from, double to) { return from != 0 && to != 0 ? to - from : -1.0; };
  Emit(Format("{\"ok\":true,\"scan_ms\":%.1f,\"ok_to_strip_ms\":%.1f,\"strip_ms\":%.1f,"
              "\"strip_gone_to_box_ms\":%.1f,\"polls\":%d,\"cpu_ms\":%.1f,\"peak_working_set\":%lu,"
              "\"memory_read\":%s,\"exit_code\":%lu,\"programs_closed\":%d,\"box_text\":",
              boxAt - okAt, phase(okAt, stripShownAt), phase(stripShownAt, stripGoneAt),
              phase(stripGoneAt, boxAt), polls, cpuMs,
              static_cast<unsigned long>(memory.PeakWorkingSetSize), memoryRead ? "true" : "false",
              exitCode, closed) +
       escaner_test::JsonWide(text) + "}");
  return 0;
}

int Usage() {
  std::fprintf(
      stderr,
      "usage: bench_driver --exe PATH --choose FOLDER [--timeout SECONDS] [--poll-ms MS]\n");
  return 1;
}

}  // namespace

int main() {
  escaner_test::Options given({L"--exe", L"--choose", L"--timeout", L"--poll-ms"}, {});
  if (!given.Parse(escaner_test::CommandLineArguments()) || !given.Has(L"--exe") ||
      !given.Has(L"--choose"))
    return Usage();
  return Run(given.Text(L"--exe"), given.Text(L"--choose"), given.Number(L"--timeout", 600),
             static_cast<DWORD>(given.Number(L"--poll-ms", kDefaultPollMs)));
}
