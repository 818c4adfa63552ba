#pragma once
// Injectable time and chance: the millisecond tick counter (unsigned 32-bit, wrapping) and
// the program's one random generator. Tests replace the tick source and the seed.
#include <cstdint>
#include <functional>
#include <random>

namespace lumi {

// Milliseconds since an arbitrary start, truncated to 32 bits (it wraps after ~49.7 days).
uint32_t tickCount();
using TickSource = std::function<uint32_t()>;
// Replaces the tick source; an empty function restores the monotonic clock.
void setTickSource(TickSource source);
// Milliseconds elapsed from start to now, modulo 2^32.
inline uint32_t ticksSince(uint32_t start, uint32_t now) { return now - start; }

std::mt19937& randomGenerator();
// Seeds the generator from the clock; the main window does this once at creation.
void seedRandomFromClock();
void setRandomSeed(uint32_t seed);
// A uniform integer from 0 to n - 1 (n > 0).
int32_t randomBelow(int32_t n);

// Rounds to the nearest integer, halves to even (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
int64_t roundHalfEven(double value);

} // namespace lumi
