// web_video_export.cpp - the browser build has no video encoder: asking for
// an export says so plainly and nothing is written.
#include "platform/internal.h"

namespace {

const char* const NoExport = "video export is not available in the browser build";

} // namespace

bool StartVideoExport(const std::string&, int, int, int, int) {
    SetPlatformError(NoExport);
    return false;
}

bool VideoExportActive() {
    return false;
}

void VideoExportFlip() {}

int VideoExportFrames() {
    return 0;
}

bool FinishVideoExport() {
    SetPlatformError(NoExport);
    return false;
}
