// video.cpp - the display, the draw state and drawing (placeholder bodies).
#include "platform/internal.h"
#include "platform/recording.h"

static std::vector<DrawRecord> records;
static std::string engineName;

bool VideoInit(const PlatformConfig&) {
    return true;
}
void VideoShutdown() {}
bool VideoUsesSdl() {
    return false;
}
void VideoWarpPointer(int, int) {}
void VideoShowPointer(bool) {}
unsigned VideoWindowId() {
    return 0;
}

int CountDisplayModes() {
    return 0;
}
DisplayMode DisplayModeAt(int) {
    return {0, 0, 0, 0};
}
bool DisplayModeExists(int, int, int) {
    return false;
}
void SetGraphicsEngine(int) {}
bool OpenDisplay(int, int, int, int) {
    return false;
}
void CloseDisplay() {}
bool DisplayIsOpen() {
    return false;
}
const std::string& OpenedEngineName() {
    return engineName;
}
int PhysicalWidth() {
    return 0;
}
int PhysicalHeight() {
    return 0;
}
void SetLogicalSize(int, int) {}
int LogicalWidth() {
    return 0;
}
int LogicalHeight() {
    return 0;
}
void SetWindowTitle(const std::string&) {}
void ShowSystemPointer(bool) {}
void Flip(int) {}

void SetColor(int, int, int) {}
void SetAlpha(float) {}
void SetBlend(int) {}
void SetDrawScale(float, float) {}
void SetDrawRotation(float) {}
void GetDrawScale(float& sx, float& sy) {
    sx = sy = 1;
}
float GetDrawAlpha() {
    return 1;
}
int GetDrawBlend() {
    return BlendAlpha;
}
void GetColor(int& r, int& g, int& b) {
    r = g = b = 255;
}
float GetDrawRotation() {
    return 0;
}

void ClearScreen() {}
void DrawRect(float, float, float, float) {}
void DrawLine(float, float, float, float) {}
void DrawImageFrame(int, float, float, int) {}
void DrawString(const std::string&, float, float) {}

void SetCentreAnchoring(bool) {}
int LoadImage(const std::string&, int) {
    return 0;
}
int LoadImageSheet(const std::string&, int, int, int, int) {
    return 0;
}
int CreateImage(int, int, int) {
    return 0;
}
void GrabImage(int, int, int) {}
void SetImageHandle(int, float, float) {}
void FreeImage(int) {}
int ImageFrameWidth(int) {
    return 0;
}
int ImageFrameHeight(int) {
    return 0;
}
int ImageFrameCount(int) {
    return 0;
}
Pixmap GrabPixmap(int, int, int, int) {
    return {};
}
bool SavePixmapPng(const Pixmap&, const std::string&, int) {
    return false;
}
bool LoadPixmapPng(const std::string&, Pixmap&) {
    return false;
}

int LoadFont(const std::string&, int) {
    return 0;
}
void FreeFont(int) {}
void SetFont(int) {}
int CurrentFont() {
    return 0;
}
int MeasureText(const std::string&) {
    return 0;
}
int TextLineHeight() {
    return 0;
}

const std::vector<DrawRecord>& RecordedDraws() {
    return records;
}
void ClearRecordedDraws() {
    records.clear();
}
std::vector<DrawRecord> DrawsSinceFlip() {
    return {};
}
void SetRecordedDisplayModes(const std::vector<DisplayMode>&) {}
