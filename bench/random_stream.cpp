// xoshiro256** and splitmix64 as published by their authors; the polar method of
// Marsaglia and Bray (1964) for normal deviates, with our own logarithm so that no
// library transcendental can change a bit between platforms.
#include "bench/random_stream.h"

#include "bench/portable_math.h"

#include <cmath>

namespace ptw3::bench {
namespace {

constexpr uint64_t goldenGamma = 0x9e3779b97f4a7c15ULL;
constexpr double unitOf53Bits = 0x1.0p-53;

uint64_t rotateLeft(uint64_t x, int k) {
    return (x << k) | (x >> (64 - k));
}

} // namespace

uint64_t splitMix64(uint64_t& state) {
    state += goldenGamma;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

RandomStream::RandomStream(uint64_t seed, uint64_t streamId) {
    uint64_t mixedId = streamId;
    uint64_t state = seed ^ splitMix64(mixedId);
    for (uint64_t& word : m_state) {
        word = splitMix64(state);
    }
}

RandomStream RandomStream::fromState(const std::array<uint64_t, 4>& state) {
    RandomStream stream;
    stream.m_state = state;
    return stream;
}

uint64_t RandomStream::next() {
    std::array<uint64_t, 4>& s = m_state;
    const uint64_t result = rotateLeft(s[1] * 5, 7) * 9;
    const uint64_t t = s[1] << 17;
    s[2] ^= s[0];
    s[3] ^= s[1];
    s[1] ^= s[2];
    s[0] ^= s[3];
    s[2] ^= t;
    s[3] = rotateLeft(s[3], 45);
    return result;
}

double RandomStream::uniform() {
    return static_cast<double>(next() >> 11) * unitOf53Bits;
}

int32_t RandomStream::below(int32_t n) {
    // The modulo bias is below n / 2^64, far under anything a test network could show.
    return static_cast<int32_t>(next() % static_cast<uint64_t>(n));
}

double RandomStream::normal() {
    for (;;) {
        const double u = 2 * uniform() - 1;
        const double v = 2 * uniform() - 1;
        const double s = u * u + v * v;
        if (s > 0 && s < 1) {
            return u * std::sqrt(-2 * naturalLog(s) / s);
        }
    }
}

} // namespace ptw3::bench
