// audio.cpp - sound effects and channels (being written).
#include "platform/internal.h"

namespace {
std::string activeName = "Silent";
}

bool AudioInit(const PlatformConfig&) {
    return true;
}
void AudioShutdown() {}
std::vector<std::string> AudioDriverNames() {
    return {"OpenAL", "Silent"};
}
bool AudioDriverExists(const std::string& name) {
    return name == "OpenAL" || name == "Silent";
}
bool SetAudioDriver(const std::string& name) {
    return name == "Silent";
}
const std::string& ActiveAudioDriver() {
    return activeName;
}
bool OpenALUsable() {
    return false;
}
int LoadSound(const std::string&) {
    return 0;
}
void FreeSound(int) {}
int AllocChannel() {
    return 0;
}
void CueSound(int, int) {}
void SetPaused(int, bool) {}
void Stop(int) {}
void SetVolume(int, float) {}
void SetPan(int, float) {}
void SetRate(int, float) {}
bool Playing(int) {
    return false;
}
int OpenChannelCount() {
    return 0;
}
bool OpenLoopbackAudio(int) {
    return false;
}
void RenderAudio(int16_t* out, int frames) {
    for (int i = 0; i < frames * 2; i++) out[i] = 0;
}
