// video_export.cpp - turning what the display presents, and what the loopback
// audio device plays, into a video file with FFmpeg's libraries.
//
// Once started, every Flip hands its picture over. Frames are written at a
// fixed rate by the clock's time: each video frame shows the picture last
// presented before its moment, and carries its share of the sound rendered
// from the loopback device. H.264 and AAC go into .mp4, VP9 and Opus into
// .webm. Encoders run on one thread with bit-exact flags and the muxers write
// no dates or tool names, so the same pictures and sound give the same file.
// The file is written under a temporary name beside the target and renamed
// over it at the end, so a failed or killed export leaves the old file whole.
#include "platform/internal.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int SampleRate = 48000;

struct Encoder {
    AVCodecContext* ctx = nullptr;
    AVStream* stream = nullptr;
    AVFrame* frame = nullptr;
    int64_t nextPts = 0;
};

struct ExportState {
    bool active = false; // started: flips are being taken
    bool opened = false; // the file and encoders are open (at the first flip)
    bool failed = false;
    std::string path, error;
    std::string temp;    // the file being written, renamed to path at the end
    std::string libNote; // the libraries' last error message
    int fps = 60;
    int width = 0, height = 0;
    AVFormatContext* format = nullptr;
    AVPacket* packet = nullptr;
    Encoder video, audio;
    SwsContext* scaler = nullptr;
    SwrContext* resampler = nullptr;
    Pixmap held; // the picture on screen now
    int64_t startMs = 0;
    int64_t emitted = 0;      // video frames written
    int64_t heldFrom = 0;     // emitted when the held picture was taken
    std::vector<int16_t> pcm; // rendered sound not yet encoded, interleaved stereo
    int expected = 0;         // frames the caller expects in all (progress bar), 0 unknown
    std::chrono::steady_clock::time_point began;
    int64_t shownProgress = -1;
};

ExportState out;

// FFmpeg's messages: errors are kept for the failure text, the rest (the
// encoders' statistics, notes) is dropped instead of reaching stderr.
void keepLibraryError(void*, int level, const char* format, va_list args) {
    if (level > AV_LOG_ERROR) return;
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    out.libNote = text;
    while (!out.libNote.empty() && out.libNote.back() == '\n') out.libNote.pop_back();
}

// Notes the first failure; the export then stops taking frames.
bool fail(const std::string& what, int code = 0) {
    if (!out.failed) {
        out.failed = true;
        out.error = "video export: " + what;
        if (code < 0) {
            char text[AV_ERROR_MAX_STRING_SIZE] = {};
            av_strerror(code, text, sizeof text);
            out.error += std::string(": ") + text;
        }
        if (!out.libNote.empty()) out.error += " (" + out.libNote + ")";
    }
    return false;
}

// Makes a new empty file beside path for the export to write; "" when none can be made.
std::string makeTempBeside(const std::string& path) {
    for (int n = 0; n < 100; ++n) {
        std::string name = path + ".part" + std::to_string(getpid()) + "-" + std::to_string(n);
        int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            return name;
        }
        if (errno != EEXIST) break;
    }
    return "";
}

// Pushes the written file to disk, then gives it the final name.
bool moveIntoPlace() {
    int fd = open(out.temp.c_str(), O_RDONLY | O_CLOEXEC);
    bool done = fd >= 0 && fsync(fd) == 0;
    int err = errno;
    if (fd >= 0) close(fd);
    if (done && std::rename(out.temp.c_str(), out.path.c_str()) != 0) done = false, err = errno;
    if (!done) return fail("cannot write " + out.path + ": " + std::strerror(err));
    out.temp.clear();
    return true;
}

// Sends one frame (nullptr flushes) and writes every packet that comes out.
bool encode(Encoder& e, AVFrame* frame) {
    int code = avcodec_send_frame(e.ctx, frame);
    if (code < 0) return fail("the encoder refused a frame", code);
    while ((code = avcodec_receive_packet(e.ctx, out.packet)) == 0) {
        // Every packet says how long it lasts, so the file's length counts the last one.
        if (out.packet->duration == 0)
            out.packet->duration =
                e.ctx->codec_type == AVMEDIA_TYPE_VIDEO ? 1 : e.frame->nb_samples;
        av_packet_rescale_ts(out.packet, e.ctx->time_base, e.stream->time_base);
        out.packet->stream_index = e.stream->index;
        code = av_interleaved_write_frame(out.format, out.packet);
        if (code < 0) return fail("cannot write " + out.path, code);
    }
    return code == AVERROR(EAGAIN) || code == AVERROR_EOF ? true : fail("encoding failed", code);
}

// Opens an encoder by name with the options that keep its output repeatable.
bool openEncoder(Encoder& e, const char* name, bool isVideo) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec) return fail(std::string("no ") + name + " encoder in this FFmpeg");
    e.ctx = avcodec_alloc_context3(codec);
    if (!e.ctx) return fail("out of memory for the encoder");
    e.ctx->thread_count = 1;
    e.ctx->flags |= AV_CODEC_FLAG_BITEXACT;
    if (out.format->oformat->flags & AVFMT_GLOBALHEADER)
        e.ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (isVideo) {
        e.ctx->width = out.width;
        e.ctx->height = out.height;
        e.ctx->time_base = AVRational{1, out.fps};
        e.ctx->framerate = AVRational{out.fps, 1};
        e.ctx->pix_fmt = AV_PIX_FMT_YUV420P;
        e.ctx->gop_size = out.fps * 2;
        e.ctx->max_b_frames = 0; // every frame stands in the file where it is shown
        if (std::strcmp(name, "libx264") == 0) {
            av_opt_set(e.ctx->priv_data, "preset", "veryfast", 0);
            av_opt_set(e.ctx->priv_data, "crf", "23", 0);
        } else {
            av_opt_set(e.ctx->priv_data, "deadline", "good", 0);
            av_opt_set_int(e.ctx->priv_data, "cpu-used", 5, 0);
            av_opt_set_int(e.ctx->priv_data, "crf", 34, 0);
            av_opt_set_int(e.ctx->priv_data, "row-mt", 0, 0);
            e.ctx->bit_rate = 0;
        }
    } else {
        e.ctx->sample_rate = SampleRate;
        av_channel_layout_default(&e.ctx->ch_layout, 2);
        e.ctx->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
        e.ctx->bit_rate = 128000;
        e.ctx->time_base = AVRational{1, SampleRate};
    }
    int code = avcodec_open2(e.ctx, codec, nullptr);
    if (code < 0) return fail(std::string("cannot start the ") + name + " encoder", code);
    e.stream = avformat_new_stream(out.format, nullptr);
    if (!e.stream) return fail("cannot add a stream");
    code = avcodec_parameters_from_context(e.stream->codecpar, e.ctx);
    if (code < 0) return fail("cannot describe the stream", code);
    e.stream->time_base = e.ctx->time_base;
    e.frame = av_frame_alloc();
    if (!e.frame) return fail("out of memory for frames");
    if (isVideo) {
        e.frame->format = e.ctx->pix_fmt;
        e.frame->width = out.width;
        e.frame->height = out.height;
    } else {
        e.frame->format = e.ctx->sample_fmt;
        e.frame->nb_samples = e.ctx->frame_size > 0 ? e.ctx->frame_size : 960;
        av_channel_layout_copy(&e.frame->ch_layout, &e.ctx->ch_layout);
        e.frame->sample_rate = SampleRate;
    }
    code = av_frame_get_buffer(e.frame, 0);
    return code < 0 ? fail("out of memory for frames", code) : true;
}

// Opens the file and both encoders for pictures of the given size.
bool openFile(int width, int height) {
    out.opened = true;
    out.width = width & ~1; // 4:2:0 pictures have even sides
    out.height = height & ~1;
    if (out.width < 16 || out.height < 16) return fail("the picture is too small");
    const bool webm = VideoFileKind(out.path) == 2;
    int code = avformat_alloc_output_context2(&out.format, nullptr, webm ? "webm" : "mp4", nullptr);
    if (code < 0 || !out.format) return fail("cannot make a video file named " + out.path, code);
    out.format->flags |= AVFMT_FLAG_BITEXACT;
    if (!openEncoder(out.video, webm ? "libvpx-vp9" : "libx264", true) ||
        !openEncoder(out.audio, webm ? "libopus" : "aac", false))
        return false;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    code = swr_alloc_set_opts2(&out.resampler, &out.audio.ctx->ch_layout, out.audio.ctx->sample_fmt,
                               SampleRate, &stereo, AV_SAMPLE_FMT_S16, SampleRate, 0, nullptr);
    if (code < 0 || swr_init(out.resampler) < 0) return fail("cannot convert the sound", code);
    out.packet = av_packet_alloc();
    if (!out.packet) return fail("out of memory for packets");
    out.temp = makeTempBeside(out.path);
    if (out.temp.empty())
        return fail("cannot write beside " + out.path + ": " + std::strerror(errno));
    code = avio_open(&out.format->pb, out.temp.c_str(), AVIO_FLAG_WRITE);
    if (code < 0) return fail("cannot write " + out.path, code);
    code = avformat_write_header(out.format, nullptr);
    return code < 0 ? fail("cannot start " + out.path, code) : true;
}

// Encodes whole audio frames from the rendered sound; at the end the rest
// is padded with silence.
bool encodeSound(bool last) {
    Encoder& a = out.audio;
    const size_t need = size_t(a.frame->nb_samples);
    size_t used = 0;
    while (out.pcm.size() / 2 - used >= need || (last && out.pcm.size() / 2 > used)) {
        size_t take = std::min(need, out.pcm.size() / 2 - used);
        std::vector<int16_t> chunk(need * 2, 0);
        std::memcpy(chunk.data(), out.pcm.data() + used * 2, take * 4);
        used += take;
        if (av_frame_make_writable(a.frame) < 0) return fail("out of memory for sound");
        const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(chunk.data())};
        // Same rate in and out: every sample comes out at once, none is held back.
        int made = swr_convert(out.resampler, a.frame->data, int(need), in, int(need));
        if (made != int(need)) return fail("cannot convert the sound", made);
        a.frame->pts = a.nextPts;
        a.nextPts += int64_t(need);
        if (!encode(a, a.frame)) return false;
    }
    out.pcm.erase(out.pcm.begin(), out.pcm.begin() + std::ptrdiff_t(used * 2));
    return true;
}

// Shows frames done (of how many), frames made per second and the speed
// against real time, at most a few times a second of output.
void showProgress(bool done) {
    if (!done && out.emitted - out.shownProgress < 30) return;
    out.shownProgress = out.emitted;
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - out.began).count();
    double rate = seconds > 0 ? double(out.emitted) / seconds : 0;
    char bar[21] = "....................";
    int filled = out.expected > 0 ? int(std::min<int64_t>(20, out.emitted * 20 / out.expected)) : 0;
    for (int i = 0; i < filled; i++) bar[i] = '#';
    if (out.expected > 0)
        std::fprintf(stderr, "\rvideo [%s] %lld/%d frames, %.0f frames/s (%.1fx)", bar,
                     static_cast<long long>(out.emitted), out.expected, rate, rate / out.fps);
    else
        std::fprintf(stderr, "\rvideo: %lld frames, %.0f frames/s (%.1fx)",
                     static_cast<long long>(out.emitted), rate, rate / out.fps);
    if (done) std::fputc('\n', stderr);
    std::fflush(stderr);
}

// Writes the held picture as frames up to (not including) frame `until`,
// each with its 1/fps of sound.
void emitUntil(int64_t until) {
    Encoder& v = out.video;
    const int samplesPerFrame = SampleRate / out.fps;
    while (out.emitted < until && !out.failed) {
        if (av_frame_make_writable(v.frame) < 0) {
            fail("out of memory for pictures");
            return;
        }
        if (out.held.width > 0) {
            out.scaler = sws_getCachedContext(
                out.scaler, out.held.width, out.held.height, AV_PIX_FMT_BGRA, out.width, out.height,
                AV_PIX_FMT_YUV420P, SWS_BILINEAR | SWS_ACCURATE_RND | SWS_BITEXACT, nullptr,
                nullptr, nullptr);
            if (!out.scaler) {
                fail("cannot scale the pictures");
                return;
            }
            const uint8_t* planes[1] = {reinterpret_cast<const uint8_t*>(out.held.pixels.data())};
            const int strides[1] = {out.held.width * 4};
            sws_scale(out.scaler, planes, strides, 0, out.held.height, v.frame->data,
                      v.frame->linesize);
        }
        v.frame->pts = v.nextPts++;
        if (!encode(v, v.frame)) return;
        size_t at = out.pcm.size();
        out.pcm.resize(at + size_t(samplesPerFrame) * 2);
        RenderAudio(out.pcm.data() + at, samplesPerFrame);
        if (!encodeSound(false)) return;
        out.emitted++;
        showProgress(false);
    }
}

// The frames due by the clock's time now: those whose moment has begun.
int64_t framesDue() {
    int64_t t = int64_t(Millis()) - out.startMs;
    return t <= 0 ? 0 : (t * out.fps + 999) / 1000;
}

// Frees everything the export holds.
void release() {
    avcodec_free_context(&out.video.ctx);
    avcodec_free_context(&out.audio.ctx);
    av_frame_free(&out.video.frame);
    av_frame_free(&out.audio.frame);
    av_packet_free(&out.packet);
    sws_freeContext(out.scaler);
    swr_free(&out.resampler);
    if (out.format) {
        if (out.format->pb) avio_closep(&out.format->pb);
        avformat_free_context(out.format);
    }
    if (!out.temp.empty()) unlink(out.temp.c_str()); // a failed export leaves nothing half-made
    av_log_set_callback(av_log_default_callback);
    out = ExportState{};
}

} // namespace

// Starts taking presented frames into a video (the file opens at the first
// Flip, sized like the display); sound comes from the loopback device.
bool StartVideoExport(const std::string& path, int fps, int expectedFrames, int width, int height) {
    if (out.active) release();
    if (VideoFileKind(path) == 0) {
        SetPlatformError("video export: the file must end in .mp4 or .webm");
        return false;
    }
    if (fps <= 0 || SampleRate % fps != 0) {
        SetPlatformError("video export: the frame rate must divide 48000");
        return false;
    }
    if (!OpenLoopbackAudio(SampleRate)) return false;
    out.active = true;
    out.path = path;
    out.fps = fps;
    out.expected = expectedFrames;
    out.width = width;
    out.height = height;
    out.began = std::chrono::steady_clock::now();
    av_log_set_callback(keepLibraryError);
    return true;
}

bool VideoExportActive() {
    return out.active;
}

// Called by Flip before presenting: frames up to now show the picture held
// so far; then the new picture is held.
void VideoExportFlip() {
    if (!out.active || out.failed) return;
    if (!out.opened) {
        out.startMs = Millis();
        if (!openFile(out.width > 0 ? out.width : PhysicalWidth(),
                      out.height > 0 ? out.height : PhysicalHeight()))
            return;
    }
    emitUntil(framesDue());
    out.held = GrabPixmap(0, 0, PhysicalWidth(), PhysicalHeight()); // the whole back buffer
    out.heldFrom = out.emitted;
}

int VideoExportFrames() {
    return int(out.emitted);
}

// Writes the frames due by now (the last picture at least once), the rest of
// the sound, and closes the file.
bool FinishVideoExport() {
    if (!out.active) return true;
    bool ok = false;
    if (out.opened && !out.failed) {
        int64_t due = framesDue();
        if (due <= out.heldFrom) due = out.heldFrom + 1;
        emitUntil(due);
        if (!out.failed) encodeSound(true);
        if (!out.failed) encode(out.video, nullptr);
        if (!out.failed) encode(out.audio, nullptr);
        if (!out.failed) {
            int code = av_write_trailer(out.format);
            if (code < 0) fail("cannot finish " + out.path, code);
        }
        if (!out.failed) {
            int code = avio_closep(&out.format->pb);
            if (code < 0) fail("cannot write " + out.path, code);
        }
        if (!out.failed) moveIntoPlace();
        showProgress(true);
        ok = !out.failed;
    } else if (!out.opened) {
        fail("nothing was presented");
    }
    if (!ok) SetPlatformError(out.error);
    release();
    return ok;
}
