// Which of the strip's bar operations reach the controls, and when.
//
// Every bar message paints synchronously (the strip's thread runs no message
// loop during a scan), and a paint costs far more than examining a small
// file: up to about 10 ms of CPU under Wine, in a virtual machine without
// graphics or over remote desktop, much less on an ordinary desktop. The pacer
// therefore keeps each bar's latest position and colour and brings the
// controls up to date in frames: an operation that changes nothing, or comes
// before the next frame is due, sends nothing. Each frame's painting is
// timed, and the next frame waits nineteen times as long, so that painting
// takes at most a twentieth of the scan wherever it runs; never less than
// the shortest frame (33 ms, about 30 frames a second), never more than
// 250 ms, so that the bars still move when painting is slow. There is no
// timer: a frame is painted by the first operation after the wait that finds
// something waiting.
//
// The thread must also answer the messages other threads and programs send
// it, however far off the next frame is: every frame ends by letting it, and
// so does any operation that comes a shortest frame or more after it last
// did.
//
// Portable: no <windows.h>. The Win32 strip is the sink; tests give it a
// recording sink and a clock they move by hand.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "platform/platform.h"

namespace escaner::ui {

// Both bars run from 0 to 100.
inline constexpr std::int32_t kBarLowest = 0;
inline constexpr std::int32_t kBarHighest = 100;

// The shortest wait between two frames, and the longest between two
// answers: about 30 a second.
inline constexpr unsigned kShortestFrameMilliseconds = 33;
// The longest wait between two frames, however slow painting is.
inline constexpr unsigned kLongestFrameMilliseconds = 250;
// Painting takes at most this share of the time: a frame painted in p ms
// is followed by a wait of 19 p ms.
inline constexpr unsigned kPaintingShareDivisor = 20;

class Clock {
 public:
  // Milliseconds since some fixed moment; never goes back. Read at every
  // operation, so it must cost next to nothing; it may move in steps of a
  // few milliseconds.
  virtual std::uint64_t Milliseconds() const = 0;
  // Milliseconds from some fixed moment, exact to the millisecond, for
  // timing each frame's painting; read twice a frame.
  virtual std::uint64_t PreciseMilliseconds() const { return Milliseconds(); }

 protected:
  ~Clock() = default;
};

// Where the pacer's frames and answers go. A frame calls the painting
// operations in the order declared, then AnswerMessages.
class BarSink {
 public:
  virtual void SendPosition(Bar bar, std::int32_t position) = 0;
  virtual void SendColor(Bar bar, std::uint32_t color) = 0;
  virtual void RepaintBar(Bar bar) = 0;
  // The whole strip, bars included.
  virtual void RepaintWindow() = 0;
  // Lets the thread answer what was sent to it. The sink may stop the pacer
  // from here.
  virtual void AnswerMessages() = 0;

 protected:
  ~BarSink() = default;
};

class BarPacer {
 public:
  // `shortestFrameMilliseconds` of 0 leaves the strip unpaced: every
  // operation goes to the sink at once, changed or not, and is followed by
  // an answer.
  BarPacer(BarSink& sink, const Clock& clock, unsigned shortestFrameMilliseconds);

  // A strip was built: both bars at 0 in the platform's colour, nothing
  // waiting, no frame or answer yet (the first may come at once).
  void Start();
  // The strip is gone: operations do nothing until the next Start.
  void Stop();
  bool Running() const { return running_; }
  bool Paced() const { return shortestFrameMilliseconds_ != 0; }

  // The strip reset the bar's control itself: range 0..100, position 0.
  void BarWasReset(Bar bar);
  void SetBarPosition(Bar bar, std::int32_t position);
  void SetBarColor(Bar bar, std::uint32_t color);
  // A bar is repainted whenever a frame changes it, so asking adds nothing;
  // the whole strip is repainted at the next frame, changed or not, to mend
  // what covering it damaged.
  void RepaintNow(PaintTarget target);
  // Brings the bars up to date and repaints the whole strip now, whatever
  // the clock says.
  void PaintFrameNow();
  // Paints what is waiting now, whatever the clock says, so that a strip
  // about to close has shown its last state; nothing when nothing waits.
  void PaintWaitingNow();

 private:
  struct PacedBar {
    Bar bar = Bar::File;
    std::int32_t position = 0;
    std::optional<std::uint32_t> color;  // none: the platform's default colour
    std::int32_t shownPosition = 0;
    std::optional<std::uint32_t> shownColor;

    bool Waiting() const { return position != shownPosition || color != shownColor; }
  };

  PacedBar* Find(Bar bar);
  bool Waiting() const;
  // One reading of the clock: a frame if one is due and something waits,
  // otherwise an answer if one is due.
  void Pace();
  void PaintFrame(bool wholeWindow);
  void AnswerMessages();

  BarSink& sink_;
  const Clock& clock_;
  const unsigned shortestFrameMilliseconds_;
  const unsigned longestFrameMilliseconds_;
  bool running_ = false;
  std::array<PacedBar, 2> bars_{};
  bool windowRepaintAsked_ = false;
  // Clock readings from which the next frame and the next answer are due;
  // 0: at once.
  std::uint64_t nextFrame_ = 0;
  std::uint64_t nextAnswer_ = 0;
};

}  // namespace escaner::ui
