// Which of the strip's bar operations reach the controls, and when.
//
// Every bar message paints synchronously (the strip's thread runs no message
// loop during a scan), and a paint costs far more than examining a small
// file. The pacer therefore keeps each bar's latest position and colour and
// brings the controls up to date at most once a frame: an operation that
// changes nothing, or comes within the frame, sends nothing. There is no
// timer: a frame is painted by the first operation after the interval that
// finds something waiting, and the clock is read only then, so an idle strip
// costs nothing. Each frame ends by letting the strip's thread answer the
// messages other threads and programs sent it.
//
// Portable: no <windows.h>. The Win32 strip is the sink; tests give it a
// recording sink and a clock they move by hand.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace escaner::ui {

inline constexpr int kFileBarId = 1001;
inline constexpr int kOverallBarId = 1002;
// The repaint target that means the whole strip, its bars included.
inline constexpr int kWholeStrip = 0;

// Both bars run from 0 to 100.
inline constexpr std::int32_t kBarLowest = 0;
inline constexpr std::int32_t kBarHighest = 100;

// About 30 frames a second.
inline constexpr unsigned kDefaultFrameMilliseconds = 33;

// Milliseconds since some fixed moment; never goes back.
class Clock {
 public:
  virtual std::uint64_t Milliseconds() const = 0;

 protected:
  ~Clock() = default;
};

// What a frame sends, in the order the pacer calls it.
class BarSink {
 public:
  virtual void SendPosition(int barId, std::int32_t position) = 0;
  virtual void SendColor(int barId, std::uint32_t color) = 0;
  virtual void RepaintBar(int barId) = 0;
  // The whole strip, bars included.
  virtual void RepaintWindow() = 0;
  // The last call of every frame. The sink may stop the pacer from here.
  virtual void EndFrame() = 0;

 protected:
  ~BarSink() = default;
};

class BarPacer {
 public:
  // A frame of 0 milliseconds leaves the strip unpaced: every operation goes
  // to the sink at once, changed or not, and is a frame of its own.
  BarPacer(BarSink& sink, const Clock& clock, unsigned frameMilliseconds);

  // A strip was built: both bars at 0 in the platform's colour, nothing
  // waiting, no frame yet.
  void Start();
  // The strip is gone: operations do nothing until the next Start.
  void Stop();
  bool Running() const { return running_; }
  bool Paced() const { return frameMilliseconds_ != 0; }

  // The strip reset the bar's control itself: range 0..100, position 0.
  void BarWasReset(int barId);
  void SetBarPosition(int barId, std::int32_t position);
  void SetBarColor(int barId, std::uint32_t color);
  // `target` is kWholeStrip or a bar. A bar is repainted whenever a frame
  // changes it, so asking adds nothing; the whole strip is repainted at the
  // next frame, changed or not, to mend what covering it damaged.
  void RepaintNow(int target);
  // Brings the bars up to date and repaints the whole strip now, whatever
  // the clock says.
  void PaintFrameNow();

 private:
  struct PacedBar {
    int id = 0;
    std::int32_t position = 0;
    std::optional<std::uint32_t> color;  // none: the platform's default colour
    std::int32_t shownPosition = 0;
    std::optional<std::uint32_t> shownColor;

    bool Waiting() const { return position != shownPosition || color != shownColor; }
  };

  PacedBar* Find(int barId);
  bool Waiting() const;
  void PaintIfFrameOver();
  void PaintFrame(bool wholeWindow);

  BarSink& sink_;
  const Clock& clock_;
  const unsigned frameMilliseconds_;
  bool running_ = false;
  std::array<PacedBar, 2> bars_{};
  bool windowRepaintAsked_ = false;
  std::optional<std::uint64_t> lastFrame_;  // when the last frame's painting ended
};

}  // namespace escaner::ui
