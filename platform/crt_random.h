#ifndef PLATFORM_CRT_RANDOM_H_
#define PLATFORM_CRT_RANDOM_H_

#include <cstdint>

// The Windows C runtime's srand/rand, written out so one seed makes the same
// choices on every platform: state = state * 214013 + 2531011 (mod 2^32),
// rand() = (state >> 16) & 0x7FFF, values 0 to 32767. The process has one
// generator, used from the main thread only.
void CrtSrand(uint32_t seed);
int CrtRand();

constexpr int kCrtRandMax = 32767;

// A random number from lo to hi (the program's one source of random choices).
// A negative hi becomes 32767; otherwise hi < lo swaps the bounds. The top
// draw (32767) gives hi.
int RandomInRange(int lo, int hi);

#endif  // PLATFORM_CRT_RANDOM_H_
