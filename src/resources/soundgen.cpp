// Synthesises the control's fifteen alarm sounds as RIFF WAVE files of
// uncompressed PCM. The build runs it once and compiles the files into the
// control library as resources.
//
//   quellix_soundgen <output directory>
//
// writes <NAME>.wav for every sound. Each file has a fixed layout (channels,
// bits per sample, sample rate, frame count) that the configuration and the
// alarm timing rely on. The output is deterministic: no clock, no system
// random source, only a seeded linear congruential generator for the noisy
// sounds.
//
// Every sound is built in floating point in [-1, 1], freed of any DC offset,
// given short raised-cosine fades at both ends so playback starts and stops
// without a click, and scaled to a common peak level below full scale.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr double kTwoPi = 6.283185307179586476925;
constexpr double kPeak = 0.8;          // common peak level, leaves headroom
constexpr double kNyquistShare = 0.45; // partials above this share of the rate are dropped

struct Layout {
    int channels;
    int bitsPerSample;
    int sampleRate;
    int frames;
};

/// Floating-point samples of one sound, one vector per channel.
struct Wave {
    explicit Wave(const Layout &l)
        : layout(l), channel(std::size_t(l.channels), std::vector<double>(std::size_t(l.frames), 0.0)) {}
    double rate() const { return layout.sampleRate; }
    int frames() const { return layout.frames; }
    double duration() const { return double(layout.frames) / layout.sampleRate; }
    double time(int frame) const { return double(frame) / layout.sampleRate; }
    std::vector<double> &mono() { return channel[0]; }

    Layout layout;
    std::vector<std::vector<double>> channel;
};

/// Deterministic white noise in [-1, 1].
class Noise
{
public:
    explicit Noise(std::uint32_t seed) : m_state(seed) {}
    double next()
    {
        m_state = m_state * 1664525u + 1013904223u;
        return double(m_state >> 8) / double(1u << 23) - 1.0;
    }

private:
    std::uint32_t m_state;
};

/// Phase accumulator: follows a changing frequency without phase jumps.
class Phase
{
public:
    double advance(double frequency, double rate)
    {
        const double now = m_phase;
        m_phase = std::fmod(m_phase + kTwoPi * frequency / rate, kTwoPi);
        return now;
    }

private:
    double m_phase = 0.0;
};

/// Weight of a partial at `frequency`: 1 well below the Nyquist share,
/// fading to 0 as it approaches it, so a sweeping tone gains and loses
/// partials smoothly instead of switching them in with a step.
double partialWeight(double frequency, double rate)
{
    const double limit = kNyquistShare * rate;
    const double band = 0.06 * rate;
    return std::clamp((limit - frequency) / band, 0.0, 1.0);
}

/// A band-limited harmonic tone at fundamental phase `phase`. `step` 1 takes
/// every harmonic (sawtooth-like), 2 only the odd ones (square-like); the
/// k-th harmonic has amplitude 1 / k^slope.
double harmonics(double phase, double frequency, double rate, int step, double slope)
{
    double sum = 0.0;
    for (int k = 1; k * frequency < kNyquistShare * rate; k += step)
        sum += partialWeight(k * frequency, rate) * std::sin(k * phase) / std::pow(k, slope);
    return sum;
}

/// Raised-cosine rise from 0 to 1 over [0, ramp].
double rise(double t, double ramp)
{
    if (t <= 0.0)
        return 0.0;
    if (t >= ramp)
        return 1.0;
    return 0.5 - 0.5 * std::cos(0.5 * kTwoPi * t / ramp);
}

/// 1 inside [start, end], 0 outside, with raised-cosine ramps of `ramp`
/// seconds inside the interval.
double gate(double t, double start, double end, double ramp)
{
    return rise(t - start, ramp) * rise(end - t, ramp);
}

/// Soft saturation that thickens a tone the way a driven horn or buzzer
/// coil does; unit gain at full drive.
double drive(double x, double amount)
{
    return std::tanh(amount * x) / std::tanh(amount);
}

// ---------------------------------------------------------------------------
// The sounds

/// A klaxon horn: pitch rising into "ah-OO", holding with a mechanical
/// rattle, falling at "gah".
void ahooga(Wave &w)
{
    const double d = w.duration();
    Phase phase;
    for (int i = 0; i < w.frames(); ++i) {
        const double t = w.time(i);
        double f;
        if (t < 0.35) {
            const double x = t / 0.35;
            f = 170.0 + 220.0 * (1.0 - (1.0 - x) * (1.0 - x));
        } else if (t < 1.55) {
            f = 390.0 + 4.0 * std::sin(kTwoPi * 5.5 * (t - 0.35));
        } else {
            const double x = (t - 1.55) / (d - 1.55);
            f = 390.0 - 160.0 * x * x;
        }
        const double p = phase.advance(f, w.rate());
        const double rattle = 1.0 - 0.15 * (0.5 + 0.5 * std::sin(kTwoPi * 60.0 * t));
        w.mono()[i] = rattle * drive(0.6 * harmonics(p, f, w.rate(), 1, 1.0), 1.8);
    }
}

/// A hi-lo alarm: two square-like tones alternating twelve times.
void alarm1(Wave &w)
{
    const double slot = w.duration() / 12.0;
    Phase phase;
    for (int i = 0; i < w.frames(); ++i) {
        const double t = w.time(i);
        const int n = std::min(11, int(t / slot));
        const double f = (n % 2 == 0) ? 880.0 : 660.0;
        const double p = phase.advance(f, w.rate());
        const double env = gate(t, n * slot, (n + 1) * slot, 0.006);
        w.mono()[i] = env * harmonics(p, f, w.rate(), 2, 1.3);
    }
}

/// A short clean beep.
void beep(Wave &w)
{
    Phase phase;
    for (int i = 0; i < w.frames(); ++i) {
        const double p = phase.advance(1000.0, w.rate());
        w.mono()[i] = std::sin(p) + 0.2 * std::sin(3.0 * p);
    }
}

/// A harsh electric buzzer.
void buzzer(Wave &w)
{
    Phase phase;
    for (int i = 0; i < w.frames(); ++i) {
        const double p = phase.advance(200.0, w.rate());
        w.mono()[i] = drive(harmonics(p, 200.0, w.rate(), 2, 0.8), 3.0);
    }
}

/// A rising exponential sweep.
void caution(Wave &w)
{
    const double d = w.duration();
    Phase phase;
    for (int i = 0; i < w.frames(); ++i) {
        const double f = 500.0 * std::pow(4.0, w.time(i) / d);
        const double p = phase.advance(f, w.rate());
        w.mono()[i] = std::sin(p) + 0.3 * partialWeight(2.0 * f, w.rate()) * std::sin(2.0 * p);
    }
}

/// One bell strike: inharmonic partials, the higher ones dying faster.
double bell(double t, double fundamental, double decay, double rate)
{
    if (t < 0.0)
        return 0.0;
    static const double ratio[] = {1.0, 2.0, 2.76, 4.07};
    static const double level[] = {1.0, 0.5, 0.35, 0.2};
    double sum = 0.0;
    for (int k = 0; k < 4; ++k) {
        const double f = fundamental * ratio[k];
        sum += partialWeight(f, rate) * level[k] * std::exp(-t * (1.0 + k) / decay)
               * std::sin(kTwoPi * f * t);
    }
    return rise(t, 0.002) * sum;
}

/// "Ga-bing": a short low strike, then the main bell.
void gabing(Wave &w)
{
    for (int i = 0; i < w.frames(); ++i) {
        const double t = w.time(i);
        w.mono()[i] = 0.6 * bell(t, 700.0, 0.05, w.rate()) + bell(t - 0.07, 1050.0, 0.25, w.rate());
    }
}

/// A low game-show buzzer: two beating sawtooths driven hard.
void gbuzzer(Wave &w)
{
    Phase a, b;
    for (int i = 0; i < w.frames(); ++i) {
        const double pa = a.advance(110.0, w.rate());
        const double pb = b.advance(116.0, w.rate());
        w.mono()[i] = drive(0.5 * (harmonics(pa, 110.0, w.rate(), 1, 1.0)
                                   + harmonics(pb, 116.0, w.rate(), 1, 1.0)), 2.5);
    }
}

/// Breaking glass: a bright noise crash and a scatter of high clinks.
void klirr2(Wave &w)
{
    Noise noise(0x4b4c4952u);
    struct Clink { double at, f, decay, level; };
    std::vector<Clink> clinks;
    const double span = 0.8 * w.duration();
    for (int k = 0; k < 14; ++k) {
        const double u = 0.5 + 0.5 * noise.next();
        clinks.push_back({span * u * u, 2000.0 + 2700.0 * (0.5 + 0.5 * noise.next()),
                          0.03 + 0.09 * (0.5 + 0.5 * noise.next()), 0.4 + 0.6 * (0.5 + 0.5 * noise.next())});
    }
    double previous = 0.0, highpassed = 0.0;
    for (int i = 0; i < w.frames(); ++i) {
        const double t = w.time(i);
        const double n = noise.next();
        highpassed = 0.7 * (highpassed + n - previous); // one-pole high-pass: keeps the shimmer
        previous = n;
        double s = 0.7 * std::exp(-t / 0.15) * highpassed;
        for (const Clink &c : clinks) {
            const double dt = t - c.at;
            if (dt >= 0.0)
                s += c.level * rise(dt, 0.001) * std::exp(-dt / c.decay)
                     * (std::sin(kTwoPi * c.f * dt) + 0.4 * std::sin(kTwoPi * c.f * 1.41 * dt));
        }
        w.mono()[i] = s;
    }
}

/// A plucked string (Karplus-Strong): a burst of noise circulating in a
/// delay line whose averaging filter damps the high partials first.
void plucked(Wave &w, double frequency, double damping, int smoothing, std::uint32_t seed)
{
    Noise noise(seed);
    std::vector<double> line(std::size_t(std::lround(w.rate() / frequency)));
    for (double &v : line)
        v = noise.next();
    for (int pass = 0; pass < smoothing; ++pass) // a softer excitation sounds duller
        for (std::size_t k = 1; k < line.size(); ++k)
            line[k] = 0.5 * (line[k] + line[k - 1]);
    std::size_t at = 0;
    for (int i = 0; i < w.frames(); ++i) {
        const std::size_t next = (at + 1) % line.size();
        w.mono()[i] = line[at];
        line[at] = damping * 0.5 * (line[at] + line[next]);
        at = next;
    }
}

void pluck(Wave &w) { plucked(w, 392.0, 0.996, 0, 0x504c5543u); }
void plunk(Wave &w) { plucked(w, 196.0, 0.985, 2, 0x504c554eu); }

/// One siren wail: up and back down.
void police(Wave &w)
{
    const double d = w.duration();
    Phase phase;
    for (int i = 0; i < w.frames(); ++i) {
        const double f = 650.0 + 800.0 * (0.5 - 0.5 * std::cos(kTwoPi * w.time(i) / d));
        const double p = phase.advance(f, w.rate());
        w.mono()[i] = std::sin(p) + 0.3 * partialWeight(2.0 * f, w.rate()) * std::sin(2.0 * p)
                      + 0.15 * partialWeight(3.0 * f, w.rate()) * std::sin(3.0 * p);
    }
}

/// A red-alert whoop: an accelerating climb with a swelling level.
void redalert(Wave &w)
{
    Phase phase;
    for (int i = 0; i < w.frames(); ++i) {
        const double t = w.time(i);
        const double x = std::min(1.0, t / 0.75);
        const double f = 260.0 + 890.0 * std::pow(x, 1.5);
        const double p = phase.advance(f, w.rate());
        w.mono()[i] = (0.6 + 0.4 * x) * harmonics(p, f, w.rate(), 2, 1.2);
    }
}

/// A chime tone: a few harmonics dying away.
double chime(double t, double f, double rate)
{
    if (t < 0.0)
        return 0.0;
    return rise(t, 0.005) * std::exp(-t / 0.35)
           * (std::sin(kTwoPi * f * t) + 0.25 * partialWeight(2 * f, rate) * std::sin(kTwoPi * 2 * f * t)
              + 0.1 * partialWeight(3 * f, rate) * std::sin(kTwoPi * 3 * f * t));
}

/// Two tones, high then low: ding-dong.
void ton2(Wave &w)
{
    for (int i = 0; i < w.frames(); ++i) {
        const double t = w.time(i);
        w.mono()[i] = chime(t, 659.0, w.rate()) + chime(t - 0.5, 523.0, w.rate());
    }
}

/// A two-note horn, "tuu" held, "et" short and higher.
void tuuet1(Wave &w)
{
    const double d = w.duration();
    Phase low, high;
    for (int i = 0; i < w.frames(); ++i) {
        const double t = w.time(i);
        const bool second = t >= 0.38;
        const double fa = second ? 415.0 : 370.0;
        const double fb = second ? 523.0 : 466.0;
        const double pa = low.advance(fa, w.rate());
        const double pb = high.advance(fb, w.rate());
        const double env = second ? gate(t, 0.40, d, 0.012) : gate(t, 0.0, 0.38, 0.012);
        w.mono()[i] = env * drive(0.5 * (harmonics(pa, fa, w.rate(), 1, 1.2)
                                         + harmonics(pb, fb, w.rate(), 1, 1.2)), 1.5);
    }
}

/// A stereo warning: four square-like beeps alternating high on the left
/// and low on the right.
void warning(Wave &w)
{
    const double slot = w.duration() / 4.0;
    Phase phase;
    for (int i = 0; i < w.frames(); ++i) {
        const double t = w.time(i);
        const int n = std::min(3, int(t / slot));
        const bool left = n % 2 == 0;
        const double f = left ? 1400.0 : 1050.0;
        const double p = phase.advance(f, w.rate());
        const double s = gate(t, n * slot, n * slot + 0.8 * slot, 0.006) * harmonics(p, f, w.rate(), 2, 1.5);
        w.channel[0][i] = (left ? 1.0 : 0.35) * s;
        w.channel[1][i] = (left ? 0.35 : 1.0) * s;
    }
}

struct Sound {
    const char *name;
    Layout layout;
    void (*make)(Wave &);
    double fade; // seconds of fade at each end
};

const Sound kSounds[] = {
    {"AHOOGA", {1, 8, 11025, 23124}, ahooga, 0.030},
    {"ALARM1", {1, 8, 11025, 30664}, alarm1, 0.010},
    {"BEEP", {1, 8, 11025, 2418}, beep, 0.010},
    {"BUZZER", {1, 8, 11025, 2303}, buzzer, 0.008},
    {"CAUTION", {1, 8, 22050, 14725}, caution, 0.015},
    {"GABING", {1, 8, 11000, 5902}, gabing, 0.020},
    {"GBUZZER", {1, 8, 11025, 2048}, gbuzzer, 0.008},
    {"KLIRR2", {1, 8, 11025, 12496}, klirr2, 0.020},
    {"PLUCK", {1, 8, 22050, 8896}, pluck, 0.020},
    {"PLUNK", {1, 8, 22000, 7353}, plunk, 0.020},
    {"POLICE", {1, 8, 11025, 6236}, police, 0.015},
    {"REDALERT", {1, 8, 11025, 10119}, redalert, 0.100},
    {"TON2", {1, 8, 11025, 12035}, ton2, 0.030},
    {"TUUET1", {1, 8, 11025, 6021}, tuuet1, 0.012},
    {"WARNING", {2, 16, 44100, 40181}, warning, 0.008},
};

/// Fades both ends, removes DC and scales every channel to the common peak.
/// The offset is taken out under the fade envelope, (x - c) * e with
/// c = sum(x e) / sum(e), so the faded sound has zero mean and its first and
/// last frames stay exactly silent.
void finish(Wave &w, double fade)
{
    std::vector<double> envelope(std::size_t(w.frames()));
    const double end = w.time(w.frames() - 1);
    for (int i = 0; i < w.frames(); ++i)
        envelope[i] = rise(w.time(i), fade) * rise(end - w.time(i), fade);
    double peak = 0.0;
    for (auto &samples : w.channel) {
        double weighted = 0.0, weight = 0.0;
        for (int i = 0; i < w.frames(); ++i) {
            weighted += samples[i] * envelope[i];
            weight += envelope[i];
        }
        const double offset = weight > 0.0 ? weighted / weight : 0.0;
        for (int i = 0; i < w.frames(); ++i) {
            samples[i] = (samples[i] - offset) * envelope[i];
            peak = std::max(peak, std::fabs(samples[i]));
        }
    }
    if (peak > 0.0)
        for (auto &samples : w.channel)
            for (double &v : samples)
                v *= kPeak / peak;
}

void put16(std::string &out, unsigned v)
{
    out.push_back(char(v & 0xff));
    out.push_back(char((v >> 8) & 0xff));
}

void put32(std::string &out, std::uint32_t v)
{
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}

/// The RIFF WAVE image: a 16-byte PCM "fmt " chunk and one "data" chunk,
/// padded to an even length as RIFF requires. 8-bit samples are unsigned
/// (128 is silence), 16-bit samples signed little-endian.
std::string encode(const Wave &w)
{
    const Layout &l = w.layout;
    const unsigned blockAlign = unsigned(l.channels * l.bitsPerSample / 8);
    const std::uint32_t dataSize = std::uint32_t(l.frames) * blockAlign;
    const std::uint32_t pad = dataSize % 2;

    std::string out;
    out += "RIFF";
    put32(out, 4 + (8 + 16) + (8 + dataSize + pad));
    out += "WAVE";
    out += "fmt ";
    put32(out, 16);
    put16(out, 1); // uncompressed PCM
    put16(out, unsigned(l.channels));
    put32(out, std::uint32_t(l.sampleRate));
    put32(out, std::uint32_t(l.sampleRate) * blockAlign);
    put16(out, blockAlign);
    put16(out, unsigned(l.bitsPerSample));
    out += "data";
    put32(out, dataSize);
    for (int i = 0; i < l.frames; ++i) {
        for (int c = 0; c < l.channels; ++c) {
            const double v = w.channel[std::size_t(c)][std::size_t(i)];
            if (l.bitsPerSample == 8)
                out.push_back(char(std::clamp(std::lround(128.0 + 127.0 * v), 0L, 255L)));
            else
                put16(out, unsigned(std::clamp(std::lround(32767.0 * v), -32768L, 32767L)) & 0xffff);
        }
    }
    if (pad)
        out.push_back(char(l.bitsPerSample == 8 ? 128 : 0));
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path dir(argv[1]);
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        std::fprintf(stderr, "%s: cannot create %s: %s\n", argv[0], dir.c_str(), ec.message().c_str());
        return 1;
    }
    for (const Sound &sound : kSounds) {
        Wave wave(sound.layout);
        sound.make(wave);
        finish(wave, sound.fade);
        const std::string image = encode(wave);
        const std::filesystem::path file = dir / (std::string(sound.name) + ".wav");
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(image.data(), std::streamsize(image.size()));
        out.close();
        if (!out) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], file.c_str());
            return 1;
        }
    }
    return 0;
}
