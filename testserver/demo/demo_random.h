#pragma once
// The demo's random numbers: a fixed algorithm (splitmix64) rather than the standard
// library's distributions, whose results differ between implementations, so a seed gives
// the same workload everywhere.

#include <cstddef>
#include <cstdint>

namespace testserver {

class DemoRandom {
public:
    explicit DemoRandom(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    // Uniform in [low, high).
    double between(double low, double high) { return low + (high - low) * unit(); }
    // Uniform integer in [0, n); 0 when n is 0.
    std::size_t index(std::size_t n) { return n ? static_cast<std::size_t>(next() % n) : 0; }
    // Uniform integer in [low, high].
    std::int64_t integer(std::int64_t low, std::int64_t high) {
        return low + static_cast<std::int64_t>(next() % static_cast<std::uint64_t>(high - low + 1));
    }
    bool chance(double p) { return unit() < p; }

private:
    std::uint64_t state_;
};

} // namespace testserver
