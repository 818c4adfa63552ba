#include "base/Clock.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace lumi {

namespace {
TickSource& tickSource() {
    static TickSource source;
    return source;
}
uint32_t monotonicTicks() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}
} // namespace

uint32_t tickCount() { return tickSource() ? tickSource()() : monotonicTicks(); }

void setTickSource(TickSource source) { tickSource() = std::move(source); }

std::mt19937& randomGenerator() {
    static std::mt19937 generator;
    return generator;
}

void seedRandomFromClock() {
    const auto now = std::chrono::system_clock::now().time_since_epoch().count();
    randomGenerator().seed(static_cast<uint32_t>(now ^ (now >> 32)));
}

void setRandomSeed(uint32_t seed) { randomGenerator().seed(seed); }

int32_t randomBelow(int32_t n) {
    std::uniform_int_distribution<int32_t> pick(0, n - 1);
    return pick(randomGenerator());
}

int64_t roundHalfEven(double value) {
    const double floor = std::floor(value);
    const double diff = value - floor;
    auto result = static_cast<int64_t>(floor);
    if (diff > 0.5 || (diff == 0.5 && (result % 2 != 0))) ++result;
    return result;
}

} // namespace lumi
