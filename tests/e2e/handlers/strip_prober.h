// Whether the progress strip answers other programs during the scan: while
// it is shown, the driver sends it WM_NULL now and then, as a program that
// broadcasts to every top-level window would, and waits at most 100 ms for
// each answer (SendMessageTimeout with SMTO_ABORTIFHUNG).
#pragma once

#include <windows.h>

namespace escaner_test {

class StripProber {
 public:
  // Sends nothing when `intervalMs` is 0; at least 20 ms apart otherwise,
  // since the driver shares the wineserver with the exe it watches.
  explicit StripProber(double intervalMs);

  // Sends the strip one WM_NULL when the interval since the last has passed.
  void Meet(HWND strip);
  // Once, when the exe has ended ("strip_answers"): how many were sent, how
  // many got no answer in time and with which errors, and the slowest answer.
  void Report() const;

 private:
  static constexpr UINT kDeadlineMs = 100;

  double intervalMs_;
  double lastSendMs_ = 0;
  double firstSendMs_ = 0;
  int sent_ = 0;
  int unanswered_ = 0;
  DWORD lastError_ = 0;
  double slowestMs_ = 0;
};

}  // namespace escaner_test
