// synth.cpp - the sound recipes: every effect, jingle and music stem is a sum
// of simple layers (tone or noise, pitch glide, envelope, filters), written as
// 16-bit mono PCM WAV.
#include "assetgen.h"

#include <algorithm>
#include <cmath>
#include <fstream>

namespace {

constexpr double Pi = 3.14159265358979323846;

// One layer of a sound, as read from its recipe line.
struct Layer {
    std::string wave;   // sine, square, saw, triangle, noise
    double at = 0;      // start, seconds
    double length = -1; // seconds; -1 lasts to the end of the sound
    double freq = 440;  // Hz at the start
    double to = 0;      // Hz reached after glide seconds (0: no glide)
    double glide = 0.1; // seconds
    double attack = 0.002, decay = 0, release = 0.005; // seconds; decay 0 holds
    double gain = 1;
    double duty = 0.5;                               // square waves
    double lowpass = 0, lowpassTo = 0, highpass = 0; // Hz; 0 is off
    double fmRatio = 0, fmDepth = 0, fmDecay = 0;    // a sine modulator on the phase
    double detune = 0;                   // cents of a second, slightly mistuned oscillator
    double vibrato = 0, vibratoRate = 5; // semitones, Hz
};

// A deterministic noise source, so the pack is the same on every build.
struct Noise {
    uint32_t state;
    double next() {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / 8388608.0 - 1.0;
    }
};

// The recipe's value of key, or fallback when it does not give one.
double option(const SourceLine& line, const std::map<std::string, std::string>& options,
              const std::string& key, double fallback) {
    auto found = options.find(key);
    if (found == options.end()) return fallback;
    SourceLine single{line.file, line.number, {found->second}, line.text};
    return NumberWord(single, 0);
}

// Reads a "layer <wave> key=value ..." line.
Layer readLayer(const SourceLine& line) {
    static const std::vector<std::string> waves{"sine", "square", "saw", "triangle", "noise"};
    static const std::vector<std::string> keys{
        "at", "len",  "freq", "to", "glide",   "attack",  "decay",  "release", "gain",   "duty",
        "lp", "lpto", "hp",   "fm", "fmdepth", "fmdecay", "detune", "vib",     "vibrate"};
    if (line.words.size() < 2) Fail(line, "a layer needs a wave");
    Layer layer;
    layer.wave = line.words[1];
    if (std::find(waves.begin(), waves.end(), layer.wave) == waves.end())
        Fail(line, "unknown wave '" + layer.wave + "'");
    auto options = OptionWords(line, 2);
    for (const auto& [key, value] : options)
        if (std::find(keys.begin(), keys.end(), key) == keys.end())
            Fail(line, "unknown key '" + key + "'");
    auto get = [&](const char* key, double fallback) {
        return option(line, options, key, fallback);
    };
    layer.at = get("at", 0);
    layer.length = get("len", -1);
    layer.freq = get("freq", 440);
    layer.to = get("to", 0);
    layer.glide = std::max(get("glide", 0.1), 1e-4);
    layer.attack = get("attack", 0.002);
    layer.decay = get("decay", 0);
    layer.release = get("release", 0.005);
    layer.gain = get("gain", 1);
    layer.duty = get("duty", 0.5);
    layer.lowpass = get("lp", 0);
    layer.lowpassTo = get("lpto", 0);
    layer.highpass = get("hp", 0);
    layer.fmRatio = get("fm", 0);
    layer.fmDepth = get("fmdepth", 0);
    layer.fmDecay = get("fmdecay", 0);
    layer.detune = get("detune", 0);
    layer.vibrato = get("vib", 0);
    layer.vibratoRate = get("vibrate", 5);
    if (layer.freq <= 0 || layer.to < 0 || layer.gain < 0 || layer.attack < 0 || layer.decay < 0)
        Fail(line, "frequencies, gain and times must not be negative");
    return layer;
}

// One period of a wave at phase 0..1.
double waveAt(const std::string& wave, double phase, double duty) {
    phase -= std::floor(phase);
    if (wave == "sine") return std::sin(2 * Pi * phase);
    if (wave == "square") return phase < duty ? 1.0 : -1.0;
    if (wave == "saw") return 2 * phase - 1;
    return phase < 0.5 ? 4 * phase - 1 : 3 - 4 * phase; // triangle
}

// Adds one layer into the sound's samples.
void renderLayer(const Layer& layer, std::vector<float>& out, int rate, Noise& noise) {
    size_t first = static_cast<size_t>(layer.at * rate);
    double length =
        layer.length > 0 ? layer.length : static_cast<double>(out.size()) / rate - layer.at;
    size_t count = static_cast<size_t>(std::max(0.0, length) * rate);
    double phase = 0, phase2 = 0, low1 = 0, low2 = 0, high = 0, lastIn = 0;
    for (size_t i = 0; i < count && first + i < out.size(); ++i) {
        double t = static_cast<double>(i) / rate;
        double freq = layer.freq;
        if (layer.to > 0) freq *= std::pow(layer.to / layer.freq, std::min(t / layer.glide, 1.0));
        if (layer.vibrato > 0)
            freq *= std::pow(2.0, layer.vibrato / 12 * std::sin(2 * Pi * layer.vibratoRate * t) *
                                      std::min(t / 0.15, 1.0));
        double value;
        if (layer.wave == "noise") {
            value = noise.next();
        } else {
            double fm = 0;
            if (layer.fmRatio > 0) {
                double depth =
                    layer.fmDepth * (layer.fmDecay > 0 ? std::exp(-t / layer.fmDecay) : 1);
                fm = depth * std::sin(2 * Pi * phase * layer.fmRatio) / (2 * Pi);
            }
            value = waveAt(layer.wave, phase + fm, layer.duty);
            if (layer.detune != 0) {
                value = 0.5 * (value + waveAt(layer.wave, phase2 + fm, layer.duty));
                phase2 += freq * std::pow(2.0, layer.detune / 1200) / rate;
            }
            phase += freq / rate;
        }
        if (layer.lowpass > 0) {
            double cutoff = layer.lowpass;
            if (layer.lowpassTo > 0)
                cutoff *= std::pow(layer.lowpassTo / layer.lowpass, t / length);
            double a = 1 - std::exp(-2 * Pi * std::min(cutoff, rate * 0.45) / rate);
            low1 += a * (value - low1);
            low2 += a * (low1 - low2);
            value = low2;
        }
        if (layer.highpass > 0) {
            double a = std::exp(-2 * Pi * layer.highpass / rate);
            high = a * (high + value - lastIn);
            lastIn = value;
            value = high;
        }
        double envelope = layer.attack > 0 ? std::min(t / layer.attack, 1.0) : 1.0;
        if (layer.decay > 0 && t > layer.attack)
            envelope *= std::exp(-(t - layer.attack) / layer.decay);
        double left = length - t;
        if (layer.release > 0 && left < layer.release)
            envelope *= std::max(left / layer.release, 0.0);
        out[first + i] += static_cast<float>(value * envelope * layer.gain);
    }
}

// Scales to the wanted peak and fades both ends so the sound never clicks.
void finishSound(std::vector<float>& samples, int rate, double peak) {
    float loudest = 0;
    for (float s : samples) loudest = std::max(loudest, std::fabs(s));
    if (loudest > 0)
        for (float& s : samples) s = static_cast<float>(s * peak / loudest);
    size_t fadeIn = std::min(samples.size(), static_cast<size_t>(rate * 0.002));
    size_t fadeOut = std::min(samples.size(), static_cast<size_t>(rate * 0.01));
    for (size_t i = 0; i < fadeIn; ++i) samples[i] *= static_cast<float>(i) / fadeIn;
    for (size_t i = 0; i < fadeOut; ++i)
        samples[samples.size() - 1 - i] *= static_cast<float>(i) / fadeOut;
}

// A stable number from a name, to seed each sound's noise.
uint32_t nameSeed(const std::string& name) {
    uint32_t hash = 2166136261u;
    for (unsigned char c : name) hash = (hash ^ c) * 16777619u;
    return hash;
}

} // namespace

// Writes mono samples (-1..1) as a 16-bit PCM WAV file.
void WriteWav(const std::string& path, const std::vector<float>& samples, int rate) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) out.put(static_cast<char>(v >> (8 * i)));
    };
    auto put16 = [&](uint16_t v) {
        out.put(static_cast<char>(v));
        out.put(static_cast<char>(v >> 8));
    };
    uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    put32(36 + dataBytes);
    out.write("WAVEfmt ", 8);
    put32(16);
    put16(1); // PCM
    put16(1); // mono
    put32(static_cast<uint32_t>(rate));
    put32(static_cast<uint32_t>(rate * 2));
    put16(2);
    put16(16);
    out.write("data", 4);
    put32(dataBytes);
    for (float s : samples) {
        long v = std::lround(std::clamp(s, -1.0f, 1.0f) * 32767.0f);
        put16(static_cast<uint16_t>(static_cast<int16_t>(v)));
    }
    if (!out) throw AssetError("cannot write " + path);
}

// Reads "sound <output> <seconds> [peak=] [rate=]" blocks, each followed by its layers.
void BuildSounds(const std::string& sourceRelative) {
    std::string output;
    std::vector<Layer> layers;
    double seconds = 0, peak = 0.8;
    int rate = 22050;
    auto flush = [&]() {
        if (output.empty()) return;
        std::vector<float> samples(static_cast<size_t>(seconds * rate), 0.0f);
        Noise noise{nameSeed(output)};
        for (const Layer& layer : layers) renderLayer(layer, samples, rate, noise);
        finishSound(samples, rate, peak);
        MakeFolderFor(output);
        WriteWav(gen.outputDir + output, samples, rate);
        ++gen.sounds;
        layers.clear();
        output.clear();
    };
    for (const SourceLine& line : ReadSource(sourceRelative)) {
        if (line.words[0] == "sound") {
            flush();
            if (line.words.size() < 3)
                Fail(line, "expected: sound <output> <seconds> [peak=] [rate=]");
            auto options = OptionWords(line, 3);
            seconds = NumberWord(line, 2);
            peak = option(line, options, "peak", 0.8);
            rate = static_cast<int>(option(line, options, "rate", 22050));
            if (seconds <= 0 || seconds > 10 || rate < 8000 || rate > 96000 || peak <= 0 ||
                peak > 1)
                Fail(line, "length, rate or peak out of range");
            output = line.words[1];
        } else if (line.words[0] == "layer") {
            if (output.empty()) Fail(line, "a layer before any sound line");
            layers.push_back(readLayer(line));
        } else {
            Fail(line, "unknown verb '" + line.words[0] + "'");
        }
    }
    flush();
}
