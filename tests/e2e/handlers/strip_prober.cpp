#include "e2e/handlers/strip_prober.h"

#include <algorithm>

#include "support/deadline.h"
#include "support/json_event.h"

namespace escaner_test {

StripProber::StripProber(double intervalMs)
    : intervalMs_(intervalMs == 0 ? 0 : std::max(intervalMs, 20.0)) {}

void StripProber::Meet(HWND strip) {
  if (intervalMs_ == 0 || NowMs() - lastSendMs_ < intervalMs_) return;
  const double startMs = NowMs();
  DWORD_PTR result = 0;
  const LRESULT answered =
      SendMessageTimeoutW(strip, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kDeadlineMs, &result);
  const DWORD error = GetLastError();
  const double endMs = NowMs();
  // A strip closed by the scan meanwhile is no silence.
  if (!answered && !IsWindow(strip)) return;
  if (sent_ == 0) firstSendMs_ = startMs;
  ++sent_;
  lastSendMs_ = endMs;
  if (answered) {
    slowestMs_ = std::max(slowestMs_, endMs - startMs);
  } else {
    ++unanswered_;
    lastError_ = error;
  }
}

void StripProber::Report() const {
  if (intervalMs_ == 0) return;
  Emit(
      Format("{\"event\":\"strip_answers\",\"sent\":%d,\"unanswered\":%d,\"last_error\":%lu,"
             "\"slowest_ms\":%.1f,\"span_ms\":%.0f}",
             sent_, unanswered_, lastError_, slowestMs_, sent_ ? lastSendMs_ - firstSendMs_ : 0));
}

}  // namespace escaner_test
