// platform.h - the one door between the game and the operating system.
//
// Everything outside src/platform/ reaches the display, sound, input, clock,
// files and random numbers through the free functions declared here. Each
// service has a real back-end (SDL2, OpenAL Soft, FreeType, libpng) and a test
// double (recording video, silent or loopback audio, virtual clock, scripted
// input) chosen once by PlatformInit. Handles are plain ints; 0 means none, and
// every operation on handle 0 quietly does nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct ScriptEvent;

// ---------------------------------------------------------------- set-up

struct PlatformConfig {
    bool recordingVideo = false; // record draws instead of rendering them (no window at all)
    bool headless = false;       // real SDL renderer on SDL's offscreen/dummy driver
    bool virtualClock = false;   // Millis advances only through SleepMillis (and draw cost)
    bool silentAudio = false;    // start with the silent audio back-end active
    bool endThrows = false;      // EndProcess throws ProcessEnded instead of exiting (tests)
    std::string scriptPath;      // scripted input to play (implies the virtual clock)
    // The script at scriptPath already read and parsed (by the command line's
    // check): played as it is, since a pipe cannot be read a second time.
    std::shared_ptr<const std::vector<ScriptEvent>> scriptEvents;
    std::string recordPath; // write the live input as a script here
    std::string startTime;  // "YYYY-MM-DD HH:MM:SS" calendar moment at start; "" = now
    int64_t seed = -1;      // seed of the random generator; -1 = from the clock
};

// Thrown by EndProcess when PlatformConfig::endThrows is set.
struct ProcessEnded {
    int status;
};

bool PlatformInit(const PlatformConfig& config); // false (with PlatformError()) on failure
void PlatformShutdown();
const std::string& PlatformError(); // the last failure, as one readable line

// ---------------------------------------------------------------- display

struct DisplayMode {
    int width, height, depth, refresh;
};

int CountDisplayModes();                                  // modes the display reports
DisplayMode DisplayModeAt(int index);                     // 0-based
bool DisplayModeExists(int width, int height, int depth); // any refresh rate
void SetGraphicsEngine(int engine);                       // 0 "opengl", 1 "opengles2", 2 "software"
// Opens a window (depth 0) or full screen. Tries the chosen engine first, then
// the others; false when no engine can open it (see PlatformError()).
bool OpenDisplay(int width, int height, int depth, int refresh);
void CloseDisplay();
bool DisplayIsOpen();
const std::string& OpenedEngineName(); // the SDL renderer that actually opened
// One line on what the chosen engine's driver was found to be and what draws:
// a GL engine on a software driver (llvmpipe and the like) is drawn by the
// "software" engine instead. "" when the software engine was chosen.
const std::string& DisplayDriverReport();
int PhysicalWidth();
int PhysicalHeight();
void SetLogicalSize(int width, int height);
int LogicalWidth();
int LogicalHeight();
void SetWindowTitle(const std::string& title);
void ShowSystemPointer(bool visible);
void Flip(int sync); // present the back buffer; sync -1 = default pacing, 0 = no vsync
// A frame ended without being presented (a slow system's skipped frame): a
// scripted press is held on through the next presented one.
void SkipFlip();

// ---------------------------------------------------------------- drawing state

enum BlendMode { BlendMask = 0, BlendAlpha = 1, BlendAdd = 2, BlendMultiply = 3 };

void SetColor(int r, int g, int b);
void SetAlpha(float alpha);
void SetBlend(int mode);
void SetDrawScale(float sx, float sy);
void SetDrawRotation(float degrees); // clockwise on screen, y grows downward
void GetDrawScale(float& sx, float& sy);
float GetDrawAlpha();
int GetDrawBlend();
void GetColor(int& r, int& g, int& b);
float GetDrawRotation();

// ---------------------------------------------------------------- drawing

void ClearScreen();
void DrawRect(float x, float y, float w, float h); // top-left at x, y; scaled and turned about it
void DrawLine(float x1, float y1, float x2, float y2);
void DrawImageFrame(int image, float x, float y, int frame); // placed by the image's handle
void DrawString(const std::string& text, float x, float y);  // top-left at x, y; Latin-1 bytes

// ---------------------------------------------------------------- images

enum ImageFlag { ImageMasked = 1, ImageFiltered = 2 };

void SetCentreAnchoring(bool on); // images loaded from now on get their handle at the centre
int LoadImage(const std::string& path, int flags);
int LoadImageSheet(const std::string& path, int cellWidth, int cellHeight, int cellCount,
                   int flags);
int CreateImage(int width, int height, int flags); // one blank frame
void GrabImage(int image, int x, int y);           // copy the back buffer into the image
void SetImageHandle(int image, float x, float y);
void FreeImage(int image);
int ImageFrameWidth(int image);
int ImageFrameHeight(int image);
int ImageFrameCount(int image);

// A picture in memory: rows top to bottom, pixels as 0xAARRGGBB.
struct Pixmap {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
};

Pixmap GrabPixmap(int x, int y, int width, int height); // back buffer, physical pixels
bool SavePixmapPng(const Pixmap& pixmap, const std::string& path, int level);
bool LoadPixmapPng(const std::string& path, Pixmap& out); // false + PlatformError() on failure

// ---------------------------------------------------------------- fonts

int LoadFont(const std::string& path, int pixelSize); // TrueType, anti-aliased
void FreeFont(int font);
void SetFont(int font);
int CurrentFont();
int MeasureText(const std::string& text); // width at scale 1 in the current font
int TextLineHeight();                     // line height at scale 1 in the current font

// ---------------------------------------------------------------- sound

std::vector<std::string> AudioDriverNames(); // in the platform's order
bool AudioDriverExists(const std::string& name);
bool SetAudioDriver(const std::string& name); // make it the active back-end
const std::string& ActiveAudioDriver();
bool OpenALUsable();                    // an OpenAL device really opens on this machine
int LoadSound(const std::string& path); // WAV; 0 when missing or unreadable
void FreeSound(int sound);
int AllocChannel();
void CueSound(int sound, int channel); // start it paused on the channel
void SetPaused(int channel, bool paused);
void Stop(int channel); // stops and frees the channel
void SetVolume(int channel, float volume);
void SetPan(int channel, float pan); // -1 left .. 1 right
void SetRate(int channel, float rate);
bool Playing(int channel);
int OpenChannelCount(); // channels allocated and not yet freed

// Offline rendering through OpenAL Soft's loopback device: activates a
// back-end whose output is pulled with RenderAudio instead of a sound card.
bool OpenLoopbackAudio(int sampleRate); // stereo 16-bit
void RenderAudio(int16_t* interleavedStereo, int frames);

// Video export: from StartVideoExport on, every Flip's picture goes into the
// video file (H.264 + AAC for ".mp4", VP9 + Opus for ".webm"), fps frames per
// second of the clock's time, each showing the picture last presented before
// its moment, with the sound of the loopback audio device (opened here; the
// audio driver stays on it until the export ends). The file opens at the next
// Flip, at width x height (0 = the display's size; pictures are scaled to it).
// expectedFrames (0 = unknown) feeds the progress bar on stderr. Equal
// pictures and sound give the same file byte for byte.
bool StartVideoExport(const std::string& path, int fps, int expectedFrames, int width = 0,
                      int height = 0);
// The kind of video a file name asks for: 1 ".mp4", 2 ".webm", 0 neither.
int VideoFileKind(const std::string& path);
bool VideoExportActive();
int VideoExportFrames(); // frames written so far
// Writes what is due by now and closes the file; false (PlatformError()) when
// anything failed. PlatformShutdown finishes an export still running.
bool FinishVideoExport();

// ---------------------------------------------------------------- input

// Key codes are Windows virtual-key numbers (Tab 9, Escape 27, arrows 37-40,
// F11 122, F12 123, Left Alt 164). Mouse buttons: 1 left, 2 right, 3 middle.
bool IsKeyDown(int key);
int KeyPressCount(int key); // presses since last asked; asking resets
bool IsMouseDown(int button);
int MousePressCount(int button);
int NextTypedChar(); // Latin-1 code of the next typed character, 0 when none
void FlushKeys();    // forget pending presses and typed characters
float LogicalMouseX();
float LogicalMouseY();
void MovePointer(int x, int y); // logical coordinates
bool CloseRequested();          // the window's close control was used; asking clears it
void PumpInput();               // take in pending events (SleepMillis and Flip do it too)

int JoystickCount();
std::string JoystickName(int port);     // ports are 0-based
float JoystickAxis(int port, int axis); // axis 0 x, 1 y, 2 z, 3 u, 4 v, 5 r; -1..1
float JoystickHat(int port);            // 0 up, 0.25 right, 0.5 down, 0.75 left, -1 at rest
bool JoystickButton(int port, int button);
int JoystickButtonCount(int port);
uint32_t JoystickButtonMask(int port); // bit b set when button b exists

// ---------------------------------------------------------------- clock, calendar, process

int Millis(); // milliseconds since start
void SleepMillis(int ms);
std::string CurrentDateText(); // "%d %b %Y", English month names: "07 Dec 2026"
std::string CurrentTimeText(); // "%H:%M:%S"
[[noreturn]] void EndProcess(int status);
// From now on SIGTERM, SIGINT and SIGHUP only note themselves for EndSignal
// (a second one of a kind ends the process at once).
void CatchEndSignals();
// The signal noted since PlatformInit (its number), else 0. The program is
// expected to save and end within a second.
int EndSignal();
// Virtual clock only: every drawn image or rectangle costs this many
// microseconds of virtual time, to play a slow machine in tests.
void SetVirtualDrawCost(int microsecondsPerDraw);

// ---------------------------------------------------------------- files

bool ChangeDir(const std::string& path);
std::string CurrentDir();
bool FileExists(const std::string& path);
bool DeleteFile(const std::string& path);
bool RenameFile(const std::string& from, const std::string& to); // false when it fails
bool MakeDir(const std::string& path);
// Text files are read no further than this (the game's own are far smaller).
inline constexpr size_t TextReadCap = size_t(16) << 20;
// Reads a text file as lines: a line ends at LF or at a zero byte, and what
// follows either starts a new line; CR bytes are dropped. False (and no lines) when the file cannot
// be read or is no regular file (a pipe or device is refused, never waited on). A file longer than
// cap bytes gives its whole lines before the cap and sets *cut.
bool ReadTextLines(const std::string& path, std::vector<std::string>& lines, bool* cut = nullptr,
                   size_t cap = TextReadCap);
// Writes lines, each ended by CR LF, to a temporary file in the same folder
// and renames it over path, so a crash never leaves a half-written file.
bool WriteTextLinesAtomic(const std::string& path, const std::vector<std::string>& lines);
// Reads a whole regular file into bytes (with pipesToo, a pipe or device as
// well, read until its writer closes it); false (see PlatformError) when it
// cannot be read, is refused or holds more than cap bytes.
bool ReadFileBytes(const std::string& path, std::string& bytes, size_t cap, bool pipesToo = false);
// Saves bytes through a temporary file in the same folder, like the above.
bool WriteFileAtomic(const std::string& path, const std::string& bytes);
// The names of the plain files in a folder, sorted; empty when it cannot be read.
std::vector<std::string> ListFiles(const std::string& folder);
// Removes the temporary files that a save killed half-way left in folder
// (".save-XXXXXX" and the pictures' "<name>.png.XXXXXX"); the names removed.
std::vector<std::string> RemoveLeftoverSaves(const std::string& folder);
// A text file kept open for appending lines (the debug log, the crash marker).
// Never follows a symbolic link and never opens a pipe or device in its place.
int CreateTextFile(const std::string& path);           // truncates; 0 on failure
void WriteTextLine(int file, const std::string& line); // appends line + CR LF, flushed
void CloseTextFile(int file);
// Folders and links for a player's own files folder beside a read-only pack.
bool IsFolder(const std::string& path);                            // a folder, or a link to one
bool IsRealFolder(const std::string& path);                        // a folder, not a link to one
bool FolderWritable(const std::string& path);                      // files may be created in it
std::vector<std::string> FolderEntries(const std::string& path);   // sorted, no "." or ".."
bool MakeLink(const std::string& target, const std::string& path); // symbolic link
std::string LinkTarget(const std::string& path); // "" when path is no symbolic link
std::string AccountHomeDir(); // the running account's home folder from the user table; "" none
// A lock on a file held until the process ends: Held when another running
// process holds it, Unavailable when the file cannot be made (PlatformError).
enum class LockResult { Taken, Held, Unavailable };
LockResult LockForRun(const std::string& path);
std::string EnvironmentValue(const std::string& name); // "" when unset

// zlib: CompressBytes packs ("" on failure); DecompressBytes unpacks a stream
// that must give exactly size bytes, false (and PlatformError()) otherwise.
std::string CompressBytes(const std::string& bytes);
bool DecompressBytes(const std::string& packed, size_t size, std::string& bytes);

// ---------------------------------------------------------------- network

// An HTTP answer: status 0 when no server answered (error says why).
struct HttpAnswer {
    int status = 0;
    std::string body;
    std::string error;
};
// POSTs bytes as application/octet-stream to an "http://host[:port]/path?query"
// address, waiting at most timeoutSeconds. Blocks: call it from a worker
// thread, never from a frame. Safe from any thread.
HttpAnswer HttpPost(const std::string& url, const std::string& bytes, int timeoutSeconds);
HttpAnswer HttpGet(const std::string& url, int timeoutSeconds); // the same for a GET

// ---------------------------------------------------------------- random numbers

int RandomInt(int lo, int hi);        // inclusive of both ends
float RandomReal(float lo, float hi); // uniform in [lo, hi)
void SeedRandom(int64_t seed);
// The generator's whole state, to carry a sequence on exactly where it stood.
uint64_t RandomStateNow();
void SetRandomState(uint64_t state);

// ---------------------------------------------------------------- memory

int CollectMemory();   // a housekeeping pass; returns a count for the overlay
int64_t MemoryInUse(); // bytes allocated by the program
