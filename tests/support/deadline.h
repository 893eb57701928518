// Time for the test programs that drive Escaner.exe: one clock for every
// deadline and every time a driver reports, and polling against a deadline.
#pragma once

#include <windows.h>

namespace escaner_test {

// Milliseconds on the performance counter, which never goes back and
// resolves well under a millisecond (a driver times phases with it too).
double NowMs();

class Deadline {
 public:
  explicit Deadline(double seconds) : endMs_(NowMs() + seconds * 1000.0) {}

  bool Passed() const { return NowMs() >= endMs_; }
  // What is left, in whole milliseconds, for calls that take a timeout.
  DWORD RemainingMs() const;
  // The earlier of this deadline and `seconds` from now.
  Deadline Within(double seconds) const;

 private:
  double endMs_;
};

// Asks `holds` every `pollMs` until it says yes or the deadline passes; the
// answer is whether it held.
template <typename Probe>
bool PollUntil(Probe holds, const Deadline& deadline, DWORD pollMs = 20) {
  for (;;) {
    if (holds()) return true;
    if (deadline.Passed()) return false;
    Sleep(pollMs);
  }
}

}  // namespace escaner_test
