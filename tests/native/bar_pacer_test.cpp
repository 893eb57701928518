// The strip's pacing, against a clock moved by hand: each case is a table of
// bar operations at given times and what each one sent to the controls.
#include "ui/bar_pacer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace escaner::ui {
namespace {

constexpr std::uint32_t kGold = 0x0000D7FF;
constexpr std::uint32_t kOrange = 0x0000A5FF;
constexpr std::uint32_t kRed = 0x000000FF;
constexpr int F = kFileBarId;
constexpr int O = kOverallBarId;
constexpr int S = kWholeStrip;
constexpr std::int32_t kMost = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kLeast = std::numeric_limits<std::int32_t>::min();

class ManualClock : public Clock {
 public:
  std::uint64_t Milliseconds() const override { return now; }
  std::uint64_t now = 5000;
};

// Writes down what reaches the controls, one word per call: "P1001=40" a
// position, "C1001=red" a colour, "B1001" a bar repainted, "W" the whole strip
// repainted, "." the end of a frame.
class RecordingSink : public BarSink {
 public:
  // Each repaint moves `clock` on by `paintMilliseconds`.
  explicit RecordingSink(ManualClock& clock, std::uint64_t paintMilliseconds = 0)
      : clock_(clock), paintMilliseconds_(paintMilliseconds) {}

  void SendPosition(int barId, std::int32_t position) override {
    Note("P" + std::to_string(barId) + "=" + std::to_string(position));
  }
  void SendColor(int barId, std::uint32_t color) override {
    Note("C" + std::to_string(barId) + "=" + ColorName(color));
  }
  void RepaintBar(int barId) override {
    Note("B" + std::to_string(barId));
    clock_.now += paintMilliseconds_;
  }
  void RepaintWindow() override {
    Note("W");
    clock_.now += paintMilliseconds_;
  }
  void EndFrame() override {
    Note(".");
    ++frames;
    if (stopAtFrameEnd != nullptr) stopAtFrameEnd->Stop();
  }

  // What was sent since the last call.
  std::string Take() {
    std::string sent;
    sent.swap(log_);
    return sent;
  }

  int frames = 0;
  BarPacer* stopAtFrameEnd = nullptr;  // a strip closed by a message it answered

 private:
  static std::string ColorName(std::uint32_t color) {
    switch (color) {
      case kGold:
        return "gold";
      case kOrange:
        return "orange";
      case kRed:
        return "red";
      default:
        return std::to_string(color);
    }
  }
  void Note(const std::string& word) { log_ += log_.empty() ? word : " " + word; }

  ManualClock& clock_;
  std::uint64_t paintMilliseconds_;
  std::string log_;
};

enum class Op { Position, Color, Repaint, PaintNow, Reset, Stop, Start };

struct Step {
  std::uint64_t at;  // milliseconds after the strip was built
  Op op;
  int target;
  std::int64_t value;
  const char* sent;
};

Step Position(std::uint64_t at, int bar, std::int32_t position, const char* sent) {
  return {at, Op::Position, bar, position, sent};
}
Step Color(std::uint64_t at, int bar, std::uint32_t color, const char* sent) {
  return {at, Op::Color, bar, color, sent};
}
Step Repaint(std::uint64_t at, int target, const char* sent) {
  return {at, Op::Repaint, target, 0, sent};
}
Step PaintNow(std::uint64_t at, const char* sent) { return {at, Op::PaintNow, 0, 0, sent}; }
Step Reset(std::uint64_t at, int bar) { return {at, Op::Reset, bar, 0, ""}; }
Step Stop(std::uint64_t at) { return {at, Op::Stop, 0, 0, ""}; }
Step Start(std::uint64_t at) { return {at, Op::Start, 0, 0, ""}; }

void Apply(BarPacer& pacer, const Step& step) {
  switch (step.op) {
    case Op::Position:
      pacer.SetBarPosition(step.target, static_cast<std::int32_t>(step.value));
      break;
    case Op::Color:
      pacer.SetBarColor(step.target, static_cast<std::uint32_t>(step.value));
      break;
    case Op::Repaint:
      pacer.RepaintNow(step.target);
      break;
    case Op::PaintNow:
      pacer.PaintFrameNow();
      break;
    case Op::Reset:
      pacer.BarWasReset(step.target);
      break;
    case Op::Stop:
      pacer.Stop();
      break;
    case Op::Start:
      pacer.Start();
      break;
  }
}

struct Case {
  const char* name;
  unsigned frame;
  std::vector<Step> steps;
};

// The strip starts its pacer as it builds the window, then paints its first
// show at once; every case begins there.
void Play(const Case& c) {
  SCOPED_TRACE(c.name);
  ManualClock clock;
  RecordingSink sink(clock);
  BarPacer pacer(sink, clock, c.frame);
  const std::uint64_t built = clock.now;
  pacer.Start();
  for (const Step& step : c.steps) {
    clock.now = built + step.at;
    Apply(pacer, step);
    EXPECT_EQ(sink.Take(), step.sent) << "at " << step.at << " ms";
  }
}

TEST(BarPacer, PacedFramesSendOnlyWhatChangedAtMostOnceAFrame) {
  const Case cases[] = {
      {"the first show paints the whole strip at once", 33, {PaintNow(0, "W .")}},
      {"a change waits for the first operation once the frame is over",
       33,
       {PaintNow(0, "W ."), Position(5, F, 40, ""), Repaint(32, F, ""),
        Repaint(33, F, "P1001=40 B1001 .")}},
      {"that operation may change nothing itself",
       33,
       {PaintNow(0, "W ."), Position(1, O, 40, ""), Position(50, O, 40, "P1002=40 B1002 .")}},
      {"within a frame only the latest position and colour are kept, and sent once",
       33,
       {PaintNow(0, "W ."), Position(1, F, 90, ""), Color(2, F, kOrange, ""),
        Position(3, F, 80, ""), Color(4, F, kGold, ""), Position(5, F, 12, ""),
        Color(6, F, kRed, ""), Repaint(40, F, "P1001=12 C1001=red B1001 ."), Repaint(80, F, "")}},
      {"a change undone within the frame sends nothing",
       33,
       {PaintNow(0, "W ."), Position(1, F, 40, ""), Position(2, F, 0, ""), Repaint(40, F, "")}},
      {"operations that change nothing send nothing",
       33,
       {PaintNow(0, "W ."), Position(1, F, 100, ""), Color(2, F, kGold, ""),
        Repaint(40, F, "P1001=100 C1001=gold B1001 ."), Position(80, F, 100, ""),
        Position(81, F, 150, ""),  // held as 100 all the same
        Color(82, F, kGold, ""), Repaint(83, F, ""), Repaint(84, O, "")}},
      {"positions are held within 0..100",
       33,
       {PaintNow(0, "W ."), Position(40, F, 150, "P1001=100 B1001 ."),
        Position(80, F, -5, "P1001=0 B1001 ."), Position(120, O, kMost, "P1002=100 B1002 ."),
        Position(160, O, kLeast, "P1002=0 B1002 .")}},
      {"a bar keeps the platform's colour until one is set",
       33,
       {PaintNow(0, "W ."), Position(40, O, 60, "P1002=60 B1002 ."),
        Color(80, F, kGold, "C1001=gold B1001 .")}},
      {"each changed bar is repainted, or the whole strip when it was asked for",
       33,
       {PaintNow(0, "W ."), Position(1, F, 50, ""), Position(2, O, 10, ""),
        Repaint(40, F, "P1001=50 B1001 P1002=10 B1002 ."), Position(41, F, 40, ""),
        Repaint(42, S, ""), Position(80, O, 20, "P1001=40 P1002=20 W .")}},
      {"a whole-strip repaint asked within a frame is carried out at the next, with no bar changed",
       33,
       {PaintNow(0, "W ."), Repaint(10, S, ""), Position(32, F, 0, ""), Position(33, F, 0, "W ."),
        Position(80, F, 0, "")}},
      {"a reset bar shows 0, so the same position again is a change, and a waiting one is dropped",
       33,
       {PaintNow(0, "W ."), Position(40, F, 40, "P1001=40 B1001 ."), Reset(41, F),
        Position(80, F, 40, "P1001=40 B1001 ."), Position(81, F, 70, ""), Reset(82, F),
        Repaint(120, F, "")}},
      {"an id the strip has no bar for is ignored",
       33,
       {PaintNow(0, "W ."), Position(40, 999, 5, ""), Color(41, 999, kRed, ""),
        Repaint(42, 999, ""), Reset(43, 999), Repaint(80, F, "")}},
      {"a stopped pacer sends nothing; started again, it starts afresh",
       33,
       {PaintNow(0, "W ."), Color(40, F, kRed, "C1001=red B1001 ."), Stop(41),
        Position(80, F, 50, ""), Repaint(81, S, ""), PaintNow(82, ""), Start(83),
        // New controls show the platform's colour, and no frame has been painted yet.
        Color(84, F, kRed, "C1001=red B1001 ."), Position(85, F, 50, ""),
        Repaint(117, F, "P1001=50 B1001 .")}},
  };
  for (const Case& c : cases) Play(c);
}

TEST(BarPacer, UnpacedEveryOperationReachesItsControlAtOnce) {
  Play({"a frame of 0 ms",
        0,
        {PaintNow(0, "W ."), Position(0, F, 50, "P1001=50 ."), Position(0, F, 50, "P1001=50 ."),
         Position(0, F, 150, "P1001=100 ."), Color(0, F, kOrange, "C1001=orange ."),
         Color(0, F, kOrange, "C1001=orange ."), Repaint(0, F, "B1001 ."), Repaint(0, O, "B1002 ."),
         Repaint(0, S, "W ."), Reset(0, F), Position(0, 999, 1, ""), Repaint(0, 999, ""), Stop(0),
         Position(0, F, 10, ""), Repaint(0, S, "")}});
}

TEST(BarPacer, TheNextFrameCountsFromTheEndOfTheLastOnesPainting) {
  ManualClock clock;
  RecordingSink sink(clock, 50);  // every repaint takes longer than a frame
  BarPacer pacer(sink, clock, 33);
  pacer.Start();
  pacer.PaintFrameNow();
  EXPECT_EQ(sink.Take(), "W .");
  const std::uint64_t painted = clock.now;
  pacer.SetBarPosition(F, 10);
  clock.now = painted + 32;
  pacer.RepaintNow(F);
  EXPECT_EQ(sink.Take(), "");
  clock.now = painted + 33;
  pacer.RepaintNow(F);
  EXPECT_EQ(sink.Take(), "P1001=10 B1001 .");
}

TEST(BarPacer, AStripClosedByAMessageAnsweredAtAFramesEndTakesNoMoreOperations) {
  ManualClock clock;
  RecordingSink sink(clock);
  BarPacer pacer(sink, clock, 33);
  pacer.Start();
  sink.stopAtFrameEnd = &pacer;
  pacer.SetBarPosition(F, 10);  // no frame yet: shown at once
  EXPECT_EQ(sink.Take(), "P1001=10 B1001 .");
  EXPECT_FALSE(pacer.Running());
  clock.now += 100;
  pacer.SetBarPosition(O, 20);
  pacer.RepaintNow(S);
  pacer.PaintFrameNow();
  EXPECT_EQ(sink.Take(), "");
  EXPECT_EQ(sink.frames, 1);
}

}  // namespace
}  // namespace escaner::ui
