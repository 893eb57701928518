#include "ui/answer_pacer.h"

namespace escaner::ui {

AnswerPacer::AnswerPacer(const Clock& clock, unsigned intervalMilliseconds)
    : clock_(clock), intervalMilliseconds_(intervalMilliseconds) {}

void AnswerPacer::Answered() { nextDue_ = clock_.Milliseconds() + intervalMilliseconds_; }

}  // namespace escaner::ui
