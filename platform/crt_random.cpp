#include "platform/crt_random.h"

#include <cmath>

namespace {
uint32_t g_state = 1;  // the C runtime's state before any srand
}  // namespace

void CrtSrand(uint32_t seed) { g_state = seed; }

int CrtRand() {
  g_state = g_state * 214013u + 2531011u;
  return static_cast<int>((g_state >> 16) & 0x7FFF);
}

int RandomInRange(int lo, int hi) {
  if (hi < 0) {
    hi = kCrtRandMax;
  } else if (hi < lo) {
    const int swap = lo;
    lo = hi;
    hi = swap;
  }
  const int r = CrtRand();
  if (r == kCrtRandMax) return hi;
  const double span = static_cast<double>(hi) - static_cast<double>(lo) + 1.0;
  return lo + static_cast<int>(std::floor(r * (1.0 / kCrtRandMax) * span));
}
