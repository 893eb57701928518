// When the strip's thread answers what other threads and programs sent it.
//
// The scan runs no message loop, so the thread answers sent messages only
// where it chooses to: at the end of each bar frame, and at the points the
// long loops pass through (each listed entry, each chunk read, each report
// line appended). A point must cost next to nothing when it is not time, so
// the pacer keeps the moment the next answer is due and a point compares the
// clock with it, nothing more.
//
// Portable: no <windows.h>. The Win32 strip owns one on the tick count;
// tests give it a clock they move by hand.
#pragma once

#include <cstdint>

#include "ui/bar_pacer.h"

namespace escaner::ui {

// As often as the strip's frames: a sender waits a frame at most.
inline constexpr unsigned kAnswerMilliseconds = 33;

class AnswerPacer {
 public:
  // `clock` must outlive this object.
  AnswerPacer(const Clock& clock, unsigned intervalMilliseconds);

  // Whether the thread should answer now: it has not answered since the
  // last Reset, or its last answer ended the interval or more ago.
  bool Due() const { return clock_.Milliseconds() >= nextDue_; }
  // The thread has just answered (at a point or at the end of a frame); the
  // interval counts from now, the end of the answering, so that answers
  // slower than the interval do not make every point an answer.
  void Answered();
  // A new strip: the first point answers.
  void Reset() { nextDue_ = 0; }

 private:
  const Clock& clock_;
  const unsigned intervalMilliseconds_;
  std::uint64_t nextDue_ = 0;
};

}  // namespace escaner::ui
