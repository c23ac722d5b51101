// video_recording.cpp - the recording back-end's memory of what was drawn and
// the display modes it pretends to offer.
#include "platform/video_internal.h"

#include <cstddef>

namespace {

constexpr size_t ReservedRecords = 4096;
// A test double should never eat the machine: past this many records the
// ones before the last Flip (or the older half) are let go.
constexpr size_t MaxRecords = size_t(1) << 20;

// Index just after the last Flip record, 0 when there is none.
size_t afterLastFlip(const std::vector<DrawRecord>& records) {
    for (size_t i = records.size(); i > 0; i--)
        if (records[i - 1].kind == DrawKind::Flip) return i;
    return 0;
}

} // namespace

// Starts an empty record with room for a few thousand draws.
void ResetRecording() {
    videoState.records.clear();
    videoState.records.reserve(ReservedRecords);
}

// Keeps one draw with the full state it was made in.
void Record(DrawKind kind, float x, float y, float w, float h, int image, int frame,
            const std::string* text) {
    std::vector<DrawRecord>& records = videoState.records;
    if (records.size() >= MaxRecords) {
        size_t keepFrom = afterLastFlip(records);
        if (keepFrom == 0 || keepFrom == records.size()) keepFrom = records.size() / 2;
        records.erase(records.begin(), records.begin() + std::ptrdiff_t(keepFrom));
    }
    DrawRecord& r = records.emplace_back();
    r.kind = kind;
    r.x = x;
    r.y = y;
    r.w = w;
    r.h = h;
    r.image = image;
    r.frame = frame;
    r.r = videoState.r;
    r.g = videoState.g;
    r.b = videoState.b;
    r.alpha = videoState.alpha;
    r.blend = videoState.blend;
    r.sx = videoState.scaleX;
    r.sy = videoState.scaleY;
    r.rotation = videoState.rotation;
    r.font = videoState.font;
    if (text) r.text = *text;
}

// The recording back-end's usual modes: common sizes at depths 32 and 16.
void UseDefaultRecordedModes() {
    const int sizes[][2] = {{640, 480},   {800, 600},   {1024, 768}, {1280, 720},
                            {1280, 960},  {1366, 768},  {1440, 900}, {1600, 900},
                            {1680, 1050}, {1920, 1080}, {1920, 1200}};
    videoState.modes.clear();
    for (const auto& size : sizes) {
        videoState.modes.push_back({size[0], size[1], 32, 60});
        videoState.modes.push_back({size[0], size[1], 16, 60});
    }
}

void SetRecordedDisplayModes(const std::vector<DisplayMode>& modes) {
    if (videoState.recording) videoState.modes = modes;
}

void SetRecordedDisplayRefused(bool refused) {
    if (videoState.recording) videoState.refuseOpen = refused;
}

const std::vector<DrawRecord>& RecordedDraws() {
    return videoState.records;
}

void ClearRecordedDraws() {
    videoState.records.clear();
}

std::vector<DrawRecord> DrawsSinceFlip() {
    const std::vector<DrawRecord>& records = videoState.records;
    return std::vector<DrawRecord>(records.begin() + std::ptrdiff_t(afterLastFlip(records)),
                                   records.end());
}
