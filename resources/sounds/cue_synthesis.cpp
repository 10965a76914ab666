#include "cue_synthesis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Peaks sit at -3 dBFS: loud enough to hear over typing, with headroom against clipping.
constexpr double peakLevel = 0.70794578438; // 10^(-3/20)

struct Partial
{
    double frequency;
    double amplitude;
};

// Half a raised cosine from 0 to 1 as x goes from 0 to 1.
double smoothRise(double x)
{
    x = std::clamp(x, 0.0, 1.0);
    return 0.5 - 0.5 * std::cos(std::numbers::pi * x);
}

std::vector<std::int16_t> toPcm16(const std::vector<double> &signal)
{
    double peak = 0;
    for (double value : signal)
        peak = std::max(peak, std::abs(value));
    std::vector<std::int16_t> samples;
    samples.reserve(signal.size());
    for (double value : signal)
        samples.push_back(static_cast<std::int16_t>(std::lround(value / peak * peakLevel * 32767)));
    return samples;
}

} // namespace

std::vector<std::int16_t> correctCueSamples()
{
    // A major triad with a touch of each note's octave: bright, but round rather than piercing.
    const Partial partials[] = {{1046.50, 1.00}, {1318.51, 0.75}, {1567.98, 0.60},
                                {2093.00, 0.12}, {2637.02, 0.08}, {3135.96, 0.06}};
    const double attackSeconds = 0.012;
    const int fadeStart = correctCueLength * 2 / 3;

    std::vector<double> signal(correctCueLength);
    for (int i = 0; i < correctCueLength; ++i) {
        const double t = double(i) / correctCueRate;
        double value = 0;
        for (const Partial &partial : partials)
            value += partial.amplitude * std::sin(2 * std::numbers::pi * partial.frequency * t);
        double envelope = smoothRise(t / attackSeconds);
        if (i >= fadeStart)
            envelope *= 1 - smoothRise(double(i - fadeStart) / (correctCueLength - 1 - fadeStart));
        signal[i] = value * envelope;
    }
    return toPcm16(signal);
}

std::vector<std::int16_t> wrongCueSamples()
{
    // A gentle downward glide reads as "no" without the harshness of a buzzer; the low octave
    // harmonics keep it warm and soft.
    const double startFrequency = 220.0;
    const double endFrequency = 185.0;
    const Partial harmonics[] = {{1, 1.00}, {2, 0.35}, {3, 0.12}};
    const double duration = double(wrongCueLength) / wrongCueRate;
    const double attackSeconds = 0.002;
    const double finalLevel = 0.002; // about -54 dB at the end
    const double decayRate = -std::log(finalLevel) / duration;
    const double tailSeconds = 0.02;

    std::vector<double> signal(wrongCueLength);
    double phase = 0;
    for (int i = 0; i < wrongCueLength; ++i) {
        const double t = double(i) / wrongCueRate;
        const double frequency =
            endFrequency + (startFrequency - endFrequency) * std::exp(-t / (duration / 3));
        double value = 0;
        for (const Partial &harmonic : harmonics)
            value += harmonic.amplitude * std::sin(harmonic.frequency * phase);
        phase += 2 * std::numbers::pi * frequency / wrongCueRate;
        double envelope = smoothRise(t / attackSeconds) * std::exp(-decayRate * t);
        // The last few milliseconds go all the way to zero, so the end never clicks.
        envelope *= 1 - smoothRise((t - (duration - tailSeconds)) / tailSeconds);
        signal[i] = value * envelope;
    }
    return toPcm16(signal);
}
