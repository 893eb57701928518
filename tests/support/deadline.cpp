#include "support/deadline.h"

namespace escaner_test {

double NowMs() {
  static const double ticksPerMs = [] {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart) / 1000.0;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / ticksPerMs;
}

DWORD Deadline::RemainingMs() const {
  const double left = endMs_ - NowMs();
  return left <= 0 ? 0 : static_cast<DWORD>(left);
}

Deadline Deadline::Within(double seconds) const {
  const Deadline other(seconds);
  return other.endMs_ < endMs_ ? other : *this;
}

}  // namespace escaner_test
