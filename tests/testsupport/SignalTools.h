#pragma once

// Test signals and measures shared by the media and engine tests: tones,
// noise, speech-like bursts, and Goertzel measures that need no alignment for
// codec or network delay.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace signaltools {

constexpr double kPi = 3.14159265358979323846;

inline std::vector<int16_t> tone(double hz, double amplitude, size_t samples, int rate = 8000)
{
    std::vector<int16_t> v(samples);
    for (size_t i = 0; i < samples; ++i)
        v[i] = int16_t(std::lround(amplitude * std::sin(2 * kPi * hz * double(i) / rate)));
    return v;
}

inline std::vector<int16_t> whiteNoise(double rms, size_t samples, unsigned seed = 1)
{
    std::mt19937 gen(seed);
    std::normal_distribution<double> dist(0.0, rms);
    std::vector<int16_t> v(samples);
    for (auto &s : v)
        s = int16_t(std::clamp(std::lround(dist(gen)), -32768L, 32767L));
    return v;
}

// Syllable-like bursts: a few harmonics of a gliding pitch, 200 ms on, 100 ms off.
inline std::vector<int16_t> speechLike(double amplitude, size_t samples)
{
    std::vector<int16_t> v(samples);
    double phase = 0.0;
    for (size_t i = 0; i < samples; ++i) {
        const double t = double(i) / 8000;
        phase += 2 * kPi * (140.0 + 40.0 * std::sin(2 * kPi * 1.3 * t)) / 8000;
        const double envelope = std::fmod(t, 0.3) < 0.2 ? std::sin(kPi * std::fmod(t, 0.3) / 0.2) : 0.0;
        double s = 0.0;
        for (int h = 1; h <= 6; ++h)
            s += std::sin(h * phase) / h;
        v[i] = int16_t(std::lround(amplitude * 0.6 * envelope * s));
    }
    return v;
}

// A tone in talk spurts, 200 ms on and 50 ms off with smooth edges: variable
// bit rate encoders treat a steady tone as background noise, not as a voice.
inline std::vector<int16_t> toneBursts(double hz, double amplitude, size_t samples)
{
    std::vector<int16_t> v(samples);
    for (size_t i = 0; i < samples; ++i) {
        const double envelope = i % 2000 < 1600 ? std::sin(kPi * double(i % 2000) / 1600) : 0.0;
        v[i] = int16_t(std::lround(amplitude * envelope * std::sin(2 * kPi * hz * double(i) / 8000)));
    }
    return v;
}

inline double power(const int16_t *x, size_t n)
{
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i)
        sum += double(x[i]) * x[i];
    return n ? sum / n : 0.0;
}

inline double power(const std::vector<int16_t> &v, size_t from = 0)
{
    return from < v.size() ? power(v.data() + from, v.size() - from) : 0.0;
}

inline double db(double ratio)
{
    return 10.0 * std::log10(std::max(ratio, 1e-12));
}

// Power of the component at hz (Goertzel), for n samples covering whole cycles.
inline double tonePower(const int16_t *x, size_t n, double hz, int rate = 8000)
{
    const double coeff = 2 * std::cos(2 * kPi * hz / rate);
    double s1 = 0.0, s2 = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double s0 = x[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return 2.0 * (s1 * s1 + s2 * s2 - coeff * s1 * s2) / (double(n) * n);
}

// Share of a recording's power at one frequency (0..1).
template<class Samples>
double toneShare(const Samples &x, double hz)
{
    const double total = power(x.data(), size_t(x.size()));
    return total > 0 ? tonePower(x.data(), size_t(x.size()), hz) / total : 0.0;
}

// Ratio in dB of the power within halfWidth Hz of hz to everything else in
// x[from, from + n) (1 Hz Goertzel bins are orthogonal over one second).
inline double bandToRestDb(const std::vector<int16_t> &x, size_t from, size_t n, double hz, double halfWidth = 0)
{
    const double total = power(x.data() + from, n);
    double band = 0.0;
    for (double f = hz - halfWidth; f <= hz + halfWidth; f += 1.0)
        band += tonePower(x.data() + from, n, f);
    return db(band / std::max(total - band, 1e-9));
}

} // namespace signaltools
