// The strip's pacing, against a clock moved by hand: tables of bar
// operations at given times and what each one sent to the controls, and
// scans of one operation a millisecond against paintings of a set cost,
// timed from what reached the sink.
#include "ui/bar_pacer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace escaner::ui {
namespace {

constexpr Bar F = Bar::File;
constexpr Bar O = Bar::Overall;
constexpr Bar kNoSuchBar = static_cast<Bar>(999);
constexpr PaintTarget FB = PaintTarget::FileBar;
constexpr PaintTarget OB = PaintTarget::OverallBar;
constexpr PaintTarget W = PaintTarget::Window;
constexpr PaintTarget kNoSuchTarget = static_cast<PaintTarget>(999);
constexpr std::int32_t kMost = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kLeast = std::numeric_limits<std::int32_t>::min();

// Exact to the millisecond; the cheap reading may move in steps, as the
// tick count does on Windows.
class ManualClock : public Clock {
 public:
  std::uint64_t Milliseconds() const override { return now - now % tickStep; }
  std::uint64_t PreciseMilliseconds() const override { return now; }
  std::uint64_t now = 5000;
  std::uint64_t tickStep = 1;
};

// One call that reached the sink, and the clock when it came.
struct Event {
  std::string word;
  std::uint64_t at;
};

// Writes down what reaches the controls, one word per call: "P1001=40" a
// position, "C1001=red" a colour, "B1001" a bar repainted, "W" the whole strip
// repainted, "." the thread let answer what was sent to it.
class RecordingSink : public BarSink {
 public:
  // Each repaint moves `clock` on by `paintMilliseconds`.
  explicit RecordingSink(ManualClock& clock, std::uint64_t paintMilliseconds = 0)
      : clock_(clock), paintMilliseconds_(paintMilliseconds) {}

  void SendPosition(Bar bar, std::int32_t position) override {
    Note("P" + std::to_string(static_cast<int>(bar)) + "=" + std::to_string(position));
  }
  void SendColor(Bar bar, std::uint32_t color) override {
    Note("C" + std::to_string(static_cast<int>(bar)) + "=" + ColorName(color));
  }
  void RepaintBar(Bar bar) override {
    Note("B" + std::to_string(static_cast<int>(bar)));
    clock_.now += paintMilliseconds_;
  }
  void RepaintWindow() override {
    Note("W");
    clock_.now += paintMilliseconds_;
  }
  void AnswerMessages() override {
    Note(".");
    ++answers;
    if (stopWhenAnswering != nullptr) stopWhenAnswering->Stop();
  }

  // What was sent since the last call.
  std::string Take() {
    std::string sent;
    sent.swap(log_);
    return sent;
  }

  int answers = 0;
  BarPacer* stopWhenAnswering = nullptr;  // a strip closed by a message it answered
  std::vector<Event> timeline;

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
  void Note(const std::string& word) {
    log_ += log_.empty() ? word : " " + word;
    timeline.push_back({word, clock_.now});
  }

  ManualClock& clock_;
  std::uint64_t paintMilliseconds_;
  std::string log_;
};

enum class Op { Position, Color, Repaint, PaintNow, PaintWaiting, Reset, Stop, Start };

struct Step {
  std::uint64_t at;  // milliseconds after the strip was built
  Op op;
  Bar bar;
  PaintTarget target;
  std::int64_t value;
  const char* sent;
};

Step Position(std::uint64_t at, Bar bar, std::int32_t position, const char* sent) {
  return {at, Op::Position, bar, W, position, sent};
}
Step Color(std::uint64_t at, Bar bar, std::uint32_t color, const char* sent) {
  return {at, Op::Color, bar, W, color, sent};
}
Step Repaint(std::uint64_t at, PaintTarget target, const char* sent) {
  return {at, Op::Repaint, F, target, 0, sent};
}
Step PaintNow(std::uint64_t at, const char* sent) { return {at, Op::PaintNow, F, W, 0, sent}; }
Step PaintWaiting(std::uint64_t at, const char* sent) {
  return {at, Op::PaintWaiting, F, W, 0, sent};
}
Step Reset(std::uint64_t at, Bar bar) { return {at, Op::Reset, bar, W, 0, ""}; }
Step Stop(std::uint64_t at) { return {at, Op::Stop, F, W, 0, ""}; }
Step Start(std::uint64_t at) { return {at, Op::Start, F, W, 0, ""}; }

void Apply(BarPacer& pacer, const Step& step) {
  switch (step.op) {
    case Op::Position:
      pacer.SetBarPosition(step.bar, static_cast<std::int32_t>(step.value));
      break;
    case Op::Color:
      pacer.SetBarColor(step.bar, static_cast<std::uint32_t>(step.value));
      break;
    case Op::Repaint:
      pacer.RepaintNow(step.target);
      break;
    case Op::PaintNow:
      pacer.PaintFrameNow();
      break;
    case Op::PaintWaiting:
      pacer.PaintWaitingNow();
      break;
    case Op::Reset:
      pacer.BarWasReset(step.bar);
      break;
    case Op::Stop:
      pacer.Stop();
      break;
    case Op::Start:
      pacer.Start();
      break;
  }
}

struct Script {
  const char* name;
  unsigned frame;      // the shortest frame
  unsigned paint = 0;  // what each repaint costs, in ms
  std::vector<Step> steps;
};

// The strip starts its pacer as it builds the window, then paints its first
// show at once; every case begins there.
void Play(const Script& c) {
  SCOPED_TRACE(c.name);
  ManualClock clock;
  RecordingSink sink(clock, c.paint);
  BarPacer pacer(sink, clock, c.frame);
  const std::uint64_t built = clock.now;
  pacer.Start();
  for (const Step& step : c.steps) {
    ASSERT_LE(clock.now, built + step.at) << "a step placed inside a painting";
    clock.now = built + step.at;
    Apply(pacer, step);
    EXPECT_EQ(sink.Take(), step.sent) << "at " << step.at << " ms";
  }
}

TEST(BarPacer, PacedFramesSendOnlyWhatChangedAtMostOnceAFrame) {
  const Script cases[] = {
      {"the first show paints the whole strip at once", 33, 0, {PaintNow(0, "W .")}},
      {"a change waits for the first operation once the frame is over",
       33,
       0,
       {PaintNow(0, "W ."), Position(5, F, 40, ""), Repaint(32, FB, ""),
        Repaint(33, FB, "P1001=40 B1001 .")}},
      {"that operation may change nothing itself",
       33,
       0,
       {PaintNow(0, "W ."), Position(1, O, 40, ""), Position(50, O, 40, "P1002=40 B1002 .")}},
      {"within a frame only the latest position and colour are kept, and sent once",
       33,
       0,
       {PaintNow(0, "W ."), Position(1, F, 90, ""), Color(2, F, kOrange, ""),
        Position(3, F, 80, ""), Color(4, F, kGold, ""), Position(5, F, 12, ""),
        Color(6, F, kRed, ""), Repaint(40, FB, "P1001=12 C1001=red B1001 ."),
        Repaint(80, FB, ".")}},
      {"a change undone within the frame sends nothing",
       33,
       0,
       {PaintNow(0, "W ."), Position(1, F, 40, ""), Position(2, F, 0, ""), Repaint(40, FB, ".")}},
      {"operations that change nothing send nothing",
       33,
       0,
       {PaintNow(0, "W ."), Position(1, F, 100, ""), Color(2, F, kGold, ""),
        Repaint(40, FB, "P1001=100 C1001=gold B1001 ."), Position(80, F, 100, "."),
        Position(81, F, 150, ""),  // held as 100 all the same
        Color(82, F, kGold, ""), Repaint(83, FB, ""), Repaint(84, OB, "")}},
      {"positions are held within 0..100",
       33,
       0,
       {PaintNow(0, "W ."), Position(40, F, 150, "P1001=100 B1001 ."),
        Position(80, F, -5, "P1001=0 B1001 ."), Position(120, O, kMost, "P1002=100 B1002 ."),
        Position(160, O, kLeast, "P1002=0 B1002 .")}},
      {"a bar keeps the platform's colour until one is set, whole-strip repaints included",
       33,
       0,
       {PaintNow(0, "W ."), Position(40, O, 60, "P1002=60 B1002 ."), Repaint(41, OB, ""),
        Repaint(42, W, ""), Repaint(80, OB, "W ."), Color(120, F, kGold, "C1001=gold B1001 .")}},
      {"each changed bar is repainted, or the whole strip when it was asked for",
       33,
       0,
       {PaintNow(0, "W ."), Position(1, F, 50, ""), Position(2, O, 10, ""),
        Repaint(40, FB, "P1001=50 B1001 P1002=10 B1002 ."), Position(41, F, 40, ""),
        Repaint(42, W, ""), Position(80, O, 20, "P1001=40 P1002=20 W .")}},
      {"a whole-strip repaint asked within a frame is carried out at the next, with no bar changed",
       33,
       0,
       {PaintNow(0, "W ."), Repaint(10, W, ""), Position(32, F, 0, ""), Position(33, F, 0, "W ."),
        Position(80, F, 0, ".")}},
      {"a reset bar shows 0, so the same position again is a change, and a waiting one is dropped",
       33,
       0,
       {PaintNow(0, "W ."), Position(40, F, 40, "P1001=40 B1001 ."), Reset(41, F),
        Position(80, F, 40, "P1001=40 B1001 ."), Position(81, F, 70, ""), Reset(82, F),
        Repaint(120, FB, ".")}},
      {"a bar or target the strip does not have is ignored",
       33,
       0,
       {PaintNow(0, "W ."), Position(40, kNoSuchBar, 5, ""), Color(41, kNoSuchBar, kRed, ""),
        Repaint(42, kNoSuchTarget, ""), Reset(43, kNoSuchBar), Repaint(80, FB, ".")}},
      {"a stopped pacer sends nothing; started again, it starts afresh",
       33,
       0,
       {PaintNow(0, "W ."), Color(40, F, kRed, "C1001=red B1001 ."), Stop(41),
        Position(80, F, 50, ""), Repaint(81, W, ""), PaintNow(82, ""), PaintWaiting(83, ""),
        Start(84),
        // New controls show the platform's colour, and no frame has been painted yet.
        Color(85, F, kRed, "C1001=red B1001 ."), Position(86, F, 50, ""),
        Repaint(118, FB, "P1001=50 B1001 .")}},
  };
  for (const Script& c : cases) Play(c);
}

TEST(BarPacer, UnpacedEveryOperationReachesItsControlAtOnce) {
  Play({"a shortest frame of 0 ms",
        0,
        0,
        {PaintNow(0, "W ."), Position(0, F, 50, "P1001=50 ."), Position(0, F, 50, "P1001=50 ."),
         Position(0, F, 150, "P1001=100 ."), Color(0, F, kOrange, "C1001=orange ."),
         Color(0, F, kOrange, "C1001=orange ."), Repaint(0, FB, "B1001 ."),
         Repaint(0, OB, "B1002 ."), Repaint(0, W, "W ."), PaintWaiting(0, ""), Reset(0, F),
         Position(0, kNoSuchBar, 1, ""), Repaint(0, kNoSuchTarget, ""), Stop(0),
         Position(0, F, 10, ""), Repaint(0, W, "")}});
}

// A strip about to close shows what the scan last set, however far off the
// next frame is.
TEST(BarPacer, PaintingWhatWaitsSendsItAtOnceAndNothingWhenNothingWaits) {
  const Script cases[] = {
      {"bars",
       33,
       0,
       {PaintNow(0, "W ."), Position(5, F, 40, ""), Color(6, O, kRed, ""),
        PaintWaiting(7, "P1001=40 B1001 C1002=red B1002 ."), PaintWaiting(8, ""),
        Position(9, F, 40, ""), PaintWaiting(10, "")}},
      {"a whole-strip repaint asked",
       33,
       0,
       {PaintNow(0, "W ."), Position(5, F, 40, ""), Repaint(6, W, ""),
        PaintWaiting(7, "P1001=40 W ."), PaintWaiting(8, "")}},
      {"the wait after a slow painting",
       33,
       50,
       {PaintNow(0, "W ."), Position(60, F, 7, ""), PaintWaiting(61, "P1001=7 B1001 .")}},
  };
  for (const Script& c : cases) Play(c);
}

// With paintings of 50 ms the frames are 250 ms apart: whatever the scan
// set between two of them, the second shows where it ended, colour included.
TEST(BarPacer, LongFramesShowTheLastStateSetBetweenThem) {
  Play({"50 ms paintings",
        33,
        50,
        {PaintNow(0, "W ."),  // painted from 0 to 50: the next frame at 300, answers from 83
         Color(60, F, kOrange, ""), Position(61, F, 80, ""), Color(83, F, kRed, "."),
         Position(100, F, 40, ""), Color(116, F, kGold, "."), Position(299, F, 12, "."),
         Color(300, F, kRed, "P1001=12 C1001=red B1001 ."), Position(400, O, 50, "."),
         Repaint(600, OB, "P1002=50 B1002 .")}});
}

// One scan file after another, one bar operation a millisecond, each a new
// position, for `span` ms, against paintings of `paint` ms each.
std::vector<Event> Scan(unsigned paint, std::uint64_t span, std::uint64_t tickStep = 1) {
  ManualClock clock;
  clock.tickStep = tickStep;
  RecordingSink sink(clock, paint);
  BarPacer pacer(sink, clock, kShortestFrameMilliseconds);
  pacer.Start();
  pacer.PaintFrameNow();
  const std::uint64_t end = clock.now + span;
  for (std::int32_t i = 0; clock.now < end; ++i) {
    pacer.SetBarPosition(F, i % 101);
    pacer.SetBarColor(F, i % 2 == 0 ? kOrange : kGold);
    pacer.RepaintNow(FB);
    clock.now += 1;
  }
  return sink.timeline;
}

struct Frame {
  std::uint64_t start;  // the first call to the sink
  std::uint64_t end;    // the answer that closes it, once the painting is over
};

struct Answer {
  std::uint64_t at;
  bool endsFrame;
};

// What the sink saw, as frames and answers: a frame is the calls up to the
// answer that follows them.
void Split(const std::vector<Event>& timeline, std::vector<Frame>& frames,
           std::vector<Answer>& answers) {
  std::optional<std::uint64_t> frameStart;
  for (const Event& event : timeline) {
    if (event.word != ".") {
      if (!frameStart) frameStart = event.at;
      continue;
    }
    if (frameStart) frames.push_back({*frameStart, event.at});
    answers.push_back({event.at, frameStart.has_value()});
    frameStart.reset();
  }
}

TEST(BarPacer, EachFrameWaitsNineteenTimesItsPaintingWithinTheShortestAndLongestFrame) {
  struct Case {
    unsigned paint;
    std::uint64_t wait;  // from the end of one frame to the start of the next
  };
  const Case cases[] = {
      {0, 33}, {1, 33}, {2, 38}, {10, 190}, {13, 247}, {14, 250}, {50, 250},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.paint << " ms paintings");
    std::vector<Frame> frames;
    std::vector<Answer> answers;
    Split(Scan(c.paint, 5000), frames, answers);
    ASSERT_GE(frames.size(), 5u);
    std::uint64_t painting = 0;
    for (std::size_t i = 0; i + 1 < frames.size(); ++i) {
      EXPECT_EQ(frames[i + 1].start - frames[i].end, c.wait) << "after frame " << i;
      painting += frames[i].end - frames[i].start;
    }
    // Unless the longest frame cuts the wait short, so that the bars move.
    if ((kPaintingShareDivisor - 1) * c.paint <= kLongestFrameMilliseconds) {
      const std::uint64_t elapsed = frames.back().start - frames.front().start;
      EXPECT_LE(painting * kPaintingShareDivisor, elapsed) << painting << " ms of " << elapsed;
    }
  }
}

// On a tick that moves 16 ms at a time, a frame is due just after a step,
// so a painting of 10 ms ends before the next one: timed on that tick it
// would seem to take nothing, and frames would come every 33 ms.
TEST(BarPacer, PaintingsAreTimedExactlyWhereTheTickMovesInSteps) {
  std::vector<Frame> frames;
  std::vector<Answer> answers;
  Split(Scan(10, 5000, 16), frames, answers);
  ASSERT_GE(frames.size(), 10u);
  for (std::size_t i = 0; i + 1 < frames.size(); ++i) {
    const std::uint64_t wait = frames[i + 1].start - frames[i].end;
    EXPECT_GE(wait, 190u - 16) << "after frame " << i;
    EXPECT_LE(wait, 190u + 16) << "after frame " << i;
  }
}

// A frame 250 ms away does not hold back what other programs send: the
// thread answers every 33 ms between paintings, and no more often.
TEST(BarPacer, BetweenFramesTheThreadAnswersEveryShortestFrame) {
  for (unsigned paint : {0u, 10u, 50u}) {
    SCOPED_TRACE(::testing::Message() << paint << " ms paintings");
    std::vector<Frame> frames;
    std::vector<Answer> answers;
    Split(Scan(paint, 5000), frames, answers);
    ASSERT_GE(answers.size(), 100u);
    for (std::size_t i = 0; i + 1 < answers.size(); ++i) {
      std::uint64_t gap = answers[i + 1].at - answers[i].at;
      if (answers[i + 1].endsFrame) {
        // Nothing is answered while the strip paints.
        gap -= paint;
      } else {
        EXPECT_GE(gap, kShortestFrameMilliseconds) << "answer " << i + 1 << " too soon";
      }
      EXPECT_LE(gap, kShortestFrameMilliseconds) << "answer " << i + 1 << " too late";
    }
  }
}

// Answering can close the strip: a program sent it SC_CLOSE. Whether the
// answer ended a frame or came between frames, no operation reaches the
// strip afterwards.
TEST(BarPacer, AStripClosedByAMessageItAnsweredTakesNoMoreOperations) {
  struct Case {
    const char* name;
    void (*operation)(BarPacer&);
    const char* sent;
  };
  const Case cases[] = {
      {"answered at a frame's end", [](BarPacer& pacer) { pacer.SetBarPosition(F, 10); },
       "P1001=10 B1001 ."},
      {"answered between frames", [](BarPacer& pacer) { pacer.RepaintNow(FB); }, "."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ManualClock clock;
    RecordingSink sink(clock);
    BarPacer pacer(sink, clock, 33);
    pacer.Start();
    pacer.PaintFrameNow();
    sink.Take();
    sink.stopWhenAnswering = &pacer;
    clock.now += 40;
    c.operation(pacer);
    EXPECT_EQ(sink.Take(), c.sent);
    EXPECT_FALSE(pacer.Running());
    clock.now += 100;
    pacer.SetBarPosition(O, 20);
    pacer.RepaintNow(W);
    pacer.PaintFrameNow();
    pacer.PaintWaitingNow();
    EXPECT_EQ(sink.Take(), "");
    EXPECT_EQ(sink.answers, 2);
  }
}

}  // namespace
}  // namespace escaner::ui
