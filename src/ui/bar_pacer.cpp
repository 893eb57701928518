#include "ui/bar_pacer.h"

#include <algorithm>

namespace escaner::ui {

BarPacer::BarPacer(BarSink& sink, const Clock& clock, unsigned frameMilliseconds)
    : sink_(sink), clock_(clock), frameMilliseconds_(frameMilliseconds) {}

void BarPacer::Start() {
  bars_ = {};
  bars_[0].id = kFileBarId;
  bars_[1].id = kOverallBarId;
  windowRepaintAsked_ = false;
  lastFrame_.reset();
  running_ = true;
}

void BarPacer::Stop() { running_ = false; }

BarPacer::PacedBar* BarPacer::Find(int barId) {
  if (!running_) return nullptr;
  for (PacedBar& bar : bars_) {
    if (bar.id == barId) return &bar;
  }
  return nullptr;
}

void BarPacer::BarWasReset(int barId) {
  if (PacedBar* bar = Find(barId)) bar->position = bar->shownPosition = kBarLowest;
}

void BarPacer::SetBarPosition(int barId, std::int32_t position) {
  PacedBar* bar = Find(barId);
  if (bar == nullptr) return;
  // The control holds positions within its range; so does the kept state,
  // so that 150 after 120 is no change.
  bar->position = std::clamp(position, kBarLowest, kBarHighest);
  if (Paced()) {
    PaintIfFrameOver();
    return;
  }
  sink_.SendPosition(barId, bar->position);
  bar->shownPosition = bar->position;
  sink_.EndFrame();
}

void BarPacer::SetBarColor(int barId, std::uint32_t color) {
  PacedBar* bar = Find(barId);
  if (bar == nullptr) return;
  bar->color = color;
  if (Paced()) {
    PaintIfFrameOver();
    return;
  }
  sink_.SendColor(barId, color);
  bar->shownColor = color;
  sink_.EndFrame();
}

void BarPacer::RepaintNow(int target) {
  if (!running_ || (target != kWholeStrip && Find(target) == nullptr)) return;
  if (Paced()) {
    if (target == kWholeStrip) windowRepaintAsked_ = true;
    PaintIfFrameOver();
    return;
  }
  if (target == kWholeStrip) {
    sink_.RepaintWindow();
  } else {
    sink_.RepaintBar(target);
  }
  sink_.EndFrame();
}

void BarPacer::PaintFrameNow() {
  if (running_) PaintFrame(true);
}

bool BarPacer::Waiting() const {
  return windowRepaintAsked_ ||
         std::any_of(bars_.begin(), bars_.end(), [](const PacedBar& bar) { return bar.Waiting(); });
}

void BarPacer::PaintIfFrameOver() {
  if (!Waiting()) return;
  if (lastFrame_ && clock_.Milliseconds() - *lastFrame_ < frameMilliseconds_) return;
  PaintFrame(false);
}

// Sends each bar what it does not show yet, then repaints the changed bars,
// or the whole strip when asked to.
void BarPacer::PaintFrame(bool wholeWindow) {
  wholeWindow = wholeWindow || windowRepaintAsked_;
  windowRepaintAsked_ = false;
  for (PacedBar& bar : bars_) {
    if (!bar.Waiting()) continue;
    if (bar.position != bar.shownPosition) {
      sink_.SendPosition(bar.id, bar.position);
      bar.shownPosition = bar.position;
    }
    if (bar.color && bar.color != bar.shownColor) {
      sink_.SendColor(bar.id, *bar.color);
      bar.shownColor = bar.color;
    }
    if (!wholeWindow) sink_.RepaintBar(bar.id);
  }
  if (wholeWindow) sink_.RepaintWindow();
  // Counted from the end of the painting, so that painting slower than a
  // frame does not make every operation a frame.
  lastFrame_ = clock_.Milliseconds();
  sink_.EndFrame();
}

}  // namespace escaner::ui
