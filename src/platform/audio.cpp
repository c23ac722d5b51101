// audio.cpp - sound effects and channels over OpenAL Soft, or silence.
//
// Three back-ends share one set of sounds and channels:
// - "OpenAL": the default OpenAL device (a sound card);
// - "Silent": no device at all; channels still behave, and a started sound
//   counts as playing until its length has passed on the platform clock, so
//   runs on the virtual clock stay reproducible;
// - loopback: OpenAL Soft's loopback device, whose mix is pulled with
//   RenderAudio (offline music rendering).
// Every loaded sound keeps its decoded 16-bit samples, so switching back-ends
// recreates the OpenAL buffers on the new device; sounds loaded earlier keep
// working after a switch. Channels are freed by Stop, by a switch, or - once
// their sound has finished - when a new channel is allocated, so a long
// session never runs out of OpenAL sources. Channel handles are never reused,
// so an old handle can never reach a newer sound.
#include "platform/internal.h"
#include "platform/recording.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <SDL.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

enum class Backend { Silent, OpenAL, Loopback };

struct Sound {
    bool loaded = false;
    std::vector<int16_t> samples; // interleaved when stereo
    int channels = 1;             // 1 or 2
    int rate = 44100;
    int lengthMs = 0;
    ALuint buffer = 0; // on the current device; 0 on the silent back-end
};

struct Channel {
    int handle = 0;
    int sound = 0; // cued sound, 0 before CueSound
    ALuint source = 0;
    bool started = false; // unpaused at least once since cued
    bool paused = true;
    int startMs = 0;  // Millis when last unpaused (silent back-end)
    int playedMs = 0; // time played before the last pause (silent back-end)
    float volume = 1, pan = 0;
    float rate = 1; // as asked; the source gets it within the pitch range OpenAL takes
};

struct AudioState {
    Backend backend = Backend::Silent;
    std::string activeName = "Silent";
    ALCdevice* device = nullptr;
    ALCcontext* context = nullptr;
    int usable = -1;           // whether a real OpenAL device opens: -1 not yet known
    std::vector<Sound> sounds; // handle - 1
    std::vector<Channel> channels;
    int nextHandle = 1;
    LPALCRENDERSAMPLESSOFT renderSamples = nullptr;
};

AudioState audio;

const float minRate = 0.01f, maxRate = 255.0f; // AL_PITCH range we accept

Sound* soundAt(int sound) {
    if (sound <= 0 || size_t(sound) > audio.sounds.size()) return nullptr;
    Sound* s = &audio.sounds[size_t(sound) - 1];
    return s->loaded ? s : nullptr;
}

Channel* channelAt(int handle) {
    if (handle <= 0) return nullptr;
    for (Channel& c : audio.channels)
        if (c.handle == handle) return &c;
    return nullptr;
}

bool onDevice() {
    return audio.backend != Backend::Silent && audio.context;
}

// Puts the sound's samples into an OpenAL buffer on the current device.
void makeBuffer(Sound& s) {
    if (!onDevice() || s.buffer) return;
    alGetError();
    alGenBuffers(1, &s.buffer);
    if (alGetError() != AL_NO_ERROR) {
        s.buffer = 0;
        return;
    }
    alBufferData(s.buffer, s.channels == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16,
                 s.samples.data(), ALsizei(s.samples.size() * sizeof(int16_t)), s.rate);
    if (alGetError() != AL_NO_ERROR) {
        alDeleteBuffers(1, &s.buffer);
        s.buffer = 0;
    }
}

// Applies volume, pan and rate to the channel's source.
void applySettings(const Channel& c) {
    if (!c.source) return;
    alSourcef(c.source, AL_GAIN, c.volume);
    alSourcef(c.source, AL_PITCH, std::clamp(c.rate, minRate, maxRate));
    // Pan as a direction on a circle around the listener: same loudness
    // anywhere from left to right, and no distance fall-off.
    alSource3f(c.source, AL_POSITION, c.pan, 0.0f, -std::sqrt(1.0f - c.pan * c.pan));
}

// Stops a channel's sound and releases its source; the slot is erased by the caller.
void releaseChannel(Channel& c) {
    if (c.source && onDevice()) {
        alSourceStop(c.source);
        alSourcei(c.source, AL_BUFFER, 0);
        alDeleteSources(1, &c.source);
    }
    c.source = 0;
}

// Whether a channel's sound is under way (paused mid-way counts).
bool inProgress(const Channel& c) {
    if (!c.started || !c.sound) return false;
    if (c.source && onDevice()) {
        ALint state = AL_STOPPED;
        alGetSourcei(c.source, AL_SOURCE_STATE, &state);
        return state == AL_PLAYING || state == AL_PAUSED;
    }
    const Sound* s = soundAt(c.sound);
    if (!s) return false;
    int played = c.playedMs + (c.paused ? 0 : Millis() - c.startMs);
    return played < s->lengthMs;
}

// Frees every channel and buffer and closes the device, leaving silence.
void closeDevice() {
    for (Channel& c : audio.channels) releaseChannel(c);
    audio.channels.clear();
    if (audio.context) {
        for (Sound& s : audio.sounds)
            if (s.buffer) alDeleteBuffers(1, &s.buffer);
        alcMakeContextCurrent(nullptr);
        alcDestroyContext(audio.context);
    }
    for (Sound& s : audio.sounds) s.buffer = 0;
    if (audio.device) alcCloseDevice(audio.device);
    audio.context = nullptr;
    audio.device = nullptr;
    audio.renderSamples = nullptr;
    audio.backend = Backend::Silent;
    audio.activeName = "Silent";
}

// Makes a context on the opened device current and rebuilds every buffer.
bool useDevice(ALCdevice* device, const ALCint* attributes, Backend backend, const char* name) {
    ALCcontext* context = alcCreateContext(device, attributes);
    if (!context || !alcMakeContextCurrent(context)) {
        if (context) alcDestroyContext(context);
        alcCloseDevice(device);
        SetPlatformError(std::string("OpenAL: no context on the ") + name + " device");
        return false;
    }
    audio.device = device;
    audio.context = context;
    audio.backend = backend;
    audio.activeName = name;
    alDistanceModel(AL_NONE);
    for (Sound& s : audio.sounds)
        if (s.loaded) makeBuffer(s);
    return true;
}

// Opens the default OpenAL device as the active back-end.
bool openRealDevice() {
    closeDevice();
    ALCdevice* device = alcOpenDevice(nullptr);
    if (!device) {
        audio.usable = 0;
        SetPlatformError("OpenAL: no sound device could be opened");
        return false;
    }
    audio.usable = 1;
    return useDevice(device, nullptr, Backend::OpenAL, "OpenAL");
}

// Reclaims channels whose sound has finished by itself.
void reclaimFinished() {
    for (size_t i = 0; i < audio.channels.size();) {
        Channel& c = audio.channels[i];
        if (c.started && !c.paused && !inProgress(c)) {
            releaseChannel(c);
            audio.channels.erase(audio.channels.begin() + long(i));
        } else {
            i++;
        }
    }
}

} // namespace

// Starts silent or on the default OpenAL device, as configured.
bool AudioInit(const PlatformConfig& config) {
    AudioShutdown();
    if (config.silentAudio) return true;
    if (openRealDevice()) return true;
    std::fprintf(stderr, "no sound device: playing silently\n");
    return true;
}

// Closes the device and forgets every sound and channel.
void AudioShutdown() {
    closeDevice();
    audio = AudioState{};
}

std::vector<std::string> AudioDriverNames() {
    return {"OpenAL", "Silent"};
}

bool AudioDriverExists(const std::string& name) {
    return name == "OpenAL" || name == "Silent";
}

// Makes the named back-end active; false (still silent) when it cannot start.
bool SetAudioDriver(const std::string& name) {
    // A video export records the loopback device's sound; it keeps it.
    if (VideoExportActive() && AudioDriverExists(name)) return true;
    if (name == "Silent") {
        closeDevice();
        return true;
    }
    if (name == "OpenAL") {
        if (audio.backend == Backend::OpenAL) return true;
        return openRealDevice();
    }
    SetPlatformError("no audio driver named \"" + name + "\"");
    return false;
}

const std::string& ActiveAudioDriver() {
    return audio.activeName;
}

// Whether a real OpenAL device opens on this machine (tried once, then remembered).
bool OpenALUsable() {
    if (audio.backend == Backend::OpenAL) return true;
    if (audio.usable < 0) {
        ALCdevice* device = alcOpenDevice(nullptr);
        audio.usable = device ? 1 : 0;
        if (device) alcCloseDevice(device);
    }
    return audio.usable == 1;
}

// Loads a WAV file as 16-bit mono or stereo; 0 (and PlatformError) when it cannot.
int LoadSound(const std::string& path) {
    SDL_AudioSpec spec;
    Uint8* data = nullptr;
    Uint32 length = 0;
    // A pipe or device in the sound's place would make the reader wait forever.
    std::string why;
    int probe = OpenRegularForReading(path, why);
    if (probe < 0) {
        SetPlatformError("cannot load sound " + path + ": " + why);
        return 0;
    }
    close(probe);
    if (!SDL_LoadWAV(path.c_str(), &spec, &data, &length)) {
        SetPlatformError("cannot load sound " + path + ": " + SDL_GetError());
        return 0;
    }
    if (length == 0 || !data) {
        // A data chunk shorter than one sample: nothing to convert or play.
        SDL_FreeWAV(data);
        SetPlatformError("sound " + path + " holds no samples");
        return 0;
    }
    Uint8 channels = spec.channels >= 2 ? 2 : 1;
    SDL_AudioCVT cvt;
    if (SDL_BuildAudioCVT(&cvt, spec.format, spec.channels, spec.freq, AUDIO_S16SYS, channels,
                          spec.freq) < 0) {
        SDL_FreeWAV(data);
        SetPlatformError("cannot convert sound " + path + ": " + SDL_GetError());
        return 0;
    }
    std::vector<Uint8> bytes(size_t(length) * size_t(std::max(cvt.len_mult, 1)));
    std::memcpy(bytes.data(), data, length);
    SDL_FreeWAV(data);
    cvt.buf = bytes.data();
    cvt.len = int(length);
    if (cvt.needed && SDL_ConvertAudio(&cvt) < 0) {
        SetPlatformError("cannot convert sound " + path + ": " + SDL_GetError());
        return 0;
    }
    size_t converted = cvt.needed ? size_t(cvt.len_cvt) : size_t(length);
    size_t frames = converted / (sizeof(int16_t) * channels);
    if (frames == 0 || spec.freq <= 0) {
        SetPlatformError("sound " + path + " holds no samples");
        return 0;
    }
    Sound s;
    s.loaded = true;
    s.channels = channels;
    s.rate = spec.freq;
    s.samples.resize(frames * channels);
    std::memcpy(s.samples.data(), bytes.data(), s.samples.size() * sizeof(int16_t));
    s.lengthMs = int((int64_t(frames) * 1000 + s.rate - 1) / s.rate);
    makeBuffer(s);
    audio.sounds.push_back(std::move(s));
    return int(audio.sounds.size());
}

// Frees a sound, stopping and freeing the channels that play it.
void FreeSound(int sound) {
    Sound* s = soundAt(sound);
    if (!s) return;
    for (size_t i = 0; i < audio.channels.size();) {
        if (audio.channels[i].sound == sound) {
            releaseChannel(audio.channels[i]);
            audio.channels.erase(audio.channels.begin() + long(i));
        } else {
            i++;
        }
    }
    if (s->buffer && onDevice()) alDeleteBuffers(1, &s->buffer);
    *s = Sound{};
}

// A new channel (after reclaiming finished ones); 0 when no source is left.
int AllocChannel() {
    reclaimFinished();
    Channel c;
    if (onDevice()) {
        alGetError();
        alGenSources(1, &c.source);
        if (alGetError() != AL_NO_ERROR) {
            SetPlatformError("OpenAL: no free sound channel");
            return 0;
        }
        alSourcei(c.source, AL_SOURCE_RELATIVE, AL_TRUE);
        alSourcef(c.source, AL_ROLLOFF_FACTOR, 0.0f);
        applySettings(c);
    }
    c.handle = audio.nextHandle++;
    audio.channels.push_back(c);
    return c.handle;
}

// Puts a sound on a channel, paused at its start.
void CueSound(int sound, int channel) {
    Channel* c = channelAt(channel);
    Sound* s = soundAt(sound);
    if (!c || !s) return;
    c->sound = sound;
    c->started = false;
    c->paused = true;
    c->playedMs = 0;
    if (c->source) {
        alSourceStop(c->source);
        alSourcei(c->source, AL_BUFFER, ALint(s->buffer));
        alSourceRewind(c->source);
        applySettings(*c);
    }
}

// Pauses or resumes a channel; the first resume starts the cued sound.
void SetPaused(int channel, bool paused) {
    Channel* c = channelAt(channel);
    if (!c || !c->sound || paused == c->paused) return;
    int now = Millis();
    if (paused) {
        c->playedMs += now - c->startMs;
        if (c->source) alSourcePause(c->source);
    } else {
        c->startMs = now;
        c->started = true;
        if (c->source) alSourcePlay(c->source);
    }
    c->paused = paused;
}

// Stops a channel's sound and frees the channel.
void Stop(int channel) {
    for (size_t i = 0; i < audio.channels.size(); i++) {
        if (audio.channels[i].handle == channel) {
            releaseChannel(audio.channels[i]);
            audio.channels.erase(audio.channels.begin() + long(i));
            return;
        }
    }
}

void SetVolume(int channel, float volume) {
    Channel* c = channelAt(channel);
    if (!c) return;
    c->volume = std::isfinite(volume) ? std::max(volume, 0.0f) : 0.0f;
    applySettings(*c);
}

// Pan from -1 (left) to 1 (right).
void SetPan(int channel, float pan) {
    Channel* c = channelAt(channel);
    if (!c) return;
    c->pan = std::isfinite(pan) ? std::clamp(pan, -1.0f, 1.0f) : 0.0f;
    applySettings(*c);
}

// Playback rate as a multiple of the recorded one (also raises the pitch).
void SetRate(int channel, float rate) {
    Channel* c = channelAt(channel);
    if (!c) return;
    c->rate = std::isfinite(rate) ? std::clamp(rate, 0.0f, maxRate) : 1.0f;
    applySettings(*c);
}

// True from unpausing until the sound has played out (a pause mid-way included).
bool Playing(int channel) {
    Channel* c = channelAt(channel);
    return c && inProgress(*c);
}

int OpenChannelCount() {
    return int(audio.channels.size());
}

int ChannelSound(int channel) {
    const Channel* c = channelAt(channel);
    return c ? c->sound : 0;
}

float ChannelRate(int channel) {
    const Channel* c = channelAt(channel);
    return c ? c->rate : 1.0f;
}

// Switches to OpenAL Soft's loopback device at sampleRate, stereo 16-bit.
bool OpenLoopbackAudio(int sampleRate) {
    closeDevice();
    if (sampleRate <= 0 || !alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback")) {
        SetPlatformError("OpenAL: loopback rendering is not available");
        return false;
    }
    auto openLoopback = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(
        alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
    auto formatSupported = reinterpret_cast<LPALCISRENDERFORMATSUPPORTEDSOFT>(
        alcGetProcAddress(nullptr, "alcIsRenderFormatSupportedSOFT"));
    auto render = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(
        alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
    if (!openLoopback || !formatSupported || !render) {
        SetPlatformError("OpenAL: loopback functions missing");
        return false;
    }
    ALCdevice* device = openLoopback(nullptr);
    if (!device) {
        SetPlatformError("OpenAL: the loopback device does not open");
        return false;
    }
    if (!formatSupported(device, sampleRate, ALC_STEREO_SOFT, ALC_SHORT_SOFT)) {
        alcCloseDevice(device);
        SetPlatformError("OpenAL: loopback cannot render stereo 16-bit at " +
                         std::to_string(sampleRate) + " Hz");
        return false;
    }
    // No HRTF and no limiter: plain, repeatable stereo panning.
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT,
                                 ALC_STEREO_SOFT,
                                 ALC_FORMAT_TYPE_SOFT,
                                 ALC_SHORT_SOFT,
                                 ALC_FREQUENCY,
                                 sampleRate,
                                 ALC_HRTF_SOFT,
                                 ALC_FALSE,
                                 ALC_OUTPUT_LIMITER_SOFT,
                                 ALC_FALSE,
                                 0};
    if (!useDevice(device, attributes, Backend::Loopback, "Loopback")) return false;
    audio.renderSamples = render;
    return true;
}

// Pulls the next frames of the loopback mix; silence on any other back-end.
void RenderAudio(int16_t* interleavedStereo, int frames) {
    if (!interleavedStereo || frames <= 0) return;
    if (audio.backend == Backend::Loopback && audio.renderSamples) {
        audio.renderSamples(audio.device, interleavedStereo, frames);
        return;
    }
    std::fill(interleavedStereo, interleavedStereo + size_t(frames) * 2, int16_t(0));
}
