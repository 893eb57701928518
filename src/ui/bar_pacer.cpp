#include "ui/bar_pacer.h"

#include <algorithm>

namespace escaner::ui {
namespace {

// The bar a repaint target names, if it names one.
std::optional<Bar> BarOf(PaintTarget target) {
  switch (target) {
    case PaintTarget::FileBar:
      return Bar::File;
    case PaintTarget::OverallBar:
      return Bar::Overall;
    default:
      return std::nullopt;
  }
}

}  // namespace

BarPacer::BarPacer(BarSink& sink, const Clock& clock, unsigned shortestFrameMilliseconds)
    : sink_(sink),
      clock_(clock),
      shortestFrameMilliseconds_(shortestFrameMilliseconds),
      longestFrameMilliseconds_(std::max(shortestFrameMilliseconds, kLongestFrameMilliseconds)) {}

void BarPacer::Start() {
  bars_ = {};
  bars_[0].bar = Bar::File;
  bars_[1].bar = Bar::Overall;
  windowRepaintAsked_ = false;
  nextFrame_ = 0;
  nextAnswer_ = 0;
  running_ = true;
}

void BarPacer::Stop() { running_ = false; }

BarPacer::PacedBar* BarPacer::Find(Bar bar) {
  if (!running_) return nullptr;
  for (PacedBar& paced : bars_) {
    if (paced.bar == bar) return &paced;
  }
  return nullptr;
}

void BarPacer::BarWasReset(Bar bar) {
  if (PacedBar* paced = Find(bar)) paced->position = paced->shownPosition = kBarLowest;
}

void BarPacer::SetBarPosition(Bar bar, std::int32_t position) {
  PacedBar* paced = Find(bar);
  if (paced == nullptr) return;
  // The control holds positions within its range; so does the kept state,
  // so that 150 after 120 is no change.
  paced->position = std::clamp(position, kBarLowest, kBarHighest);
  if (Paced()) {
    Pace();
    return;
  }
  sink_.SendPosition(bar, paced->position);
  paced->shownPosition = paced->position;
  sink_.AnswerMessages();
}

void BarPacer::SetBarColor(Bar bar, std::uint32_t color) {
  PacedBar* paced = Find(bar);
  if (paced == nullptr) return;
  paced->color = color;
  if (Paced()) {
    Pace();
    return;
  }
  sink_.SendColor(bar, color);
  paced->shownColor = color;
  sink_.AnswerMessages();
}

void BarPacer::RepaintNow(PaintTarget target) {
  const std::optional<Bar> bar = BarOf(target);
  if (!running_ || (target != PaintTarget::Window && (!bar || Find(*bar) == nullptr))) return;
  if (Paced()) {
    if (target == PaintTarget::Window) windowRepaintAsked_ = true;
    Pace();
    return;
  }
  if (bar) {
    sink_.RepaintBar(*bar);
  } else {
    sink_.RepaintWindow();
  }
  sink_.AnswerMessages();
}

void BarPacer::PaintFrameNow() {
  if (running_) PaintFrame(true);
}

void BarPacer::PaintWaitingNow() {
  if (running_ && Waiting()) PaintFrame(false);
}

bool BarPacer::Waiting() const {
  return windowRepaintAsked_ ||
         std::any_of(bars_.begin(), bars_.end(), [](const PacedBar& bar) { return bar.Waiting(); });
}

void BarPacer::Pace() {
  const std::uint64_t now = clock_.Milliseconds();
  if (now >= nextFrame_ && Waiting()) {
    PaintFrame(false);
  } else if (now >= nextAnswer_) {
    AnswerMessages();
  }
}

// Sends each bar what it does not show yet, then repaints the changed bars,
// or the whole strip when asked to; times that painting to space the next.
void BarPacer::PaintFrame(bool wholeWindow) {
  const std::uint64_t startedAt = clock_.PreciseMilliseconds();
  wholeWindow = wholeWindow || windowRepaintAsked_;
  windowRepaintAsked_ = false;
  for (PacedBar& paced : bars_) {
    if (!paced.Waiting()) continue;
    if (paced.position != paced.shownPosition) {
      sink_.SendPosition(paced.bar, paced.position);
      paced.shownPosition = paced.position;
    }
    if (paced.color && paced.color != paced.shownColor) {
      sink_.SendColor(paced.bar, *paced.color);
      paced.shownColor = paced.color;
    }
    if (!wholeWindow) sink_.RepaintBar(paced.bar);
  }
  if (wholeWindow) sink_.RepaintWindow();
  // Counted from the end of the painting, so that painting slower than the
  // wait does not make every operation a frame.
  const std::uint64_t painting =
      std::min<std::uint64_t>(clock_.PreciseMilliseconds() - startedAt, longestFrameMilliseconds_);
  nextFrame_ = clock_.Milliseconds() +
               std::clamp<std::uint64_t>((kPaintingShareDivisor - 1) * painting,
                                         shortestFrameMilliseconds_, longestFrameMilliseconds_);
  AnswerMessages();
}

void BarPacer::AnswerMessages() {
  sink_.AnswerMessages();
  nextAnswer_ = clock_.Milliseconds() + shortestFrameMilliseconds_;
}

}  // namespace escaner::ui
