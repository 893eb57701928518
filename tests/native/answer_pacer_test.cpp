#include "ui/answer_pacer.h"

#include <gtest/gtest.h>

#include <optional>

namespace escaner::ui {
namespace {

class ManualClock final : public Clock {
 public:
  std::uint64_t Milliseconds() const override { return now; }
  std::uint64_t now = 0;
};

TEST(AnswerPacer, IsDueOnceTheIntervalHasPassedSinceTheLastAnswerEnded) {
  struct Case {
    const char* name;
    std::optional<std::uint64_t> answeredAt;  // none: not since the strip was built
    std::uint64_t askedAt;
    bool due;
  };
  const Case cases[] = {
      {"never answered, at the first moment", std::nullopt, 0, true},
      {"never answered, later", std::nullopt, 5000, true},
      {"just answered", 1000, 1000, false},
      {"one millisecond short", 1000, 1000 + kAnswerMilliseconds - 1, false},
      {"exactly the interval", 1000, 1000 + kAnswerMilliseconds, true},
      {"long after", 1000, 90000, true},
      {"answered at the clock's start", 0, kAnswerMilliseconds - 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ManualClock clock;
    AnswerPacer pacer(clock, kAnswerMilliseconds);
    if (c.answeredAt) {
      clock.now = *c.answeredAt;
      pacer.Answered();
    }
    clock.now = c.askedAt;
    EXPECT_EQ(pacer.Due(), c.due);
  }
}

// An answer that took long (a repaint, a slow sender) is counted from its
// end, so the next point does not answer at once.
TEST(AnswerPacer, CountsFromTheEndOfTheAnswerAndStartsAfreshWithANewStrip) {
  ManualClock clock;
  clock.now = 1000;
  AnswerPacer pacer(clock, kAnswerMilliseconds);
  ASSERT_TRUE(pacer.Due());
  clock.now += 50;  // the answering itself
  pacer.Answered();
  clock.now += kAnswerMilliseconds - 1;
  EXPECT_FALSE(pacer.Due());
  pacer.Reset();
  EXPECT_TRUE(pacer.Due()) << "a new strip answers at its first point";
}

}  // namespace
}  // namespace escaner::ui
