// Pseudo-random numbers that are the same on every platform: xoshiro256** seeded by
// splitmix64 (Blackman and Vigna, "Scrambled linear pseudorandom number generators",
// 2021), with our own uniform and normal transforms, since the distributions of the
// standard library give different numbers in different library implementations.
#pragma once

#include <array>
#include <cstdint>

namespace ptw3::bench {

/// One step of splitmix64: advances the state and returns its next output.
uint64_t splitMix64(uint64_t& state);

class RandomStream {
public:
    /// The stream numbered streamId of the seed; different ids give independent streams.
    RandomStream(uint64_t seed, uint64_t streamId);

    /// A stream that starts from the given xoshiro256** state (not all zero).
    static RandomStream fromState(const std::array<uint64_t, 4>& state);

    /// The next 64 random bits.
    uint64_t next();
    /// Uniform in [0, 1), a multiple of 2^-53.
    double uniform();
    /// Uniform in [low, high).
    double uniform(double low, double high) { return low + (high - low) * uniform(); }
    /// Uniform integer in [0, n), n > 0.
    int32_t below(int32_t n);
    /// Standard normal deviate (Marsaglia's polar method).
    double normal();
    /// Normal deviate with mean 0 and the given standard deviation.
    double normal(double sigma) { return sigma * normal(); }

private:
    RandomStream() = default;
    std::array<uint64_t, 4> m_state{};
};

} // namespace ptw3::bench
