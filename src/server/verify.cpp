// verify.cpp - a replay played again in a child process: the child reads the
// bytes from a pipe, runs the round headless through the game's own step and
// prints what it scored; the parent bounds it by rlimits and a wall-clock
// deadline, and reads any death as a refusal.
#include "server/verify.h"

#include "app/app.h"
#include "game/replay.h"
#include "platform/platform.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

VerifyLimits verifyLimits;

namespace {

std::string verifierProgram = "/proc/self/exe";
constexpr size_t MaxChildBytes = 8u << 20; // read cap of the child's input

Verdict refuse(int status, const std::string& error) {
    Verdict v;
    v.status = status;
    v.error = error;
    return v;
}

// Milliseconds on the monotonic clock.
int64_t nowMillis() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// In the forked child, before exec: pipes on 0 and 1, limits, nothing else open.
[[noreturn]] void becomeVerifier(int in, int out, const std::string& frames) {
    dup2(in, 0);
    dup2(out, 1);
    int devnull = open("/dev/null", O_WRONLY);
    if (devnull >= 0) dup2(devnull, 2);
    for (int fd = 3; fd < 1024; fd++) close(fd);
    rlimit cpu{rlim_t(verifyLimits.cpuSeconds), rlim_t(verifyLimits.cpuSeconds + 1)};
    setrlimit(RLIMIT_CPU, &cpu);
    rlimit core{0, 0};
    setrlimit(RLIMIT_CORE, &core);
#if !defined(__SANITIZE_ADDRESS__) && !defined(ZP_NO_MEMORY_LIMIT)
    // (AddressSanitizer reserves terabytes of address space up front.)
    rlimit as{rlim_t(verifyLimits.memoryBytes), rlim_t(verifyLimits.memoryBytes)};
    setrlimit(RLIMIT_AS, &as);
#endif
    const char* argv[] = {"zorvek-plon-server", "--verify-child", frames.c_str(), nullptr};
    execv(verifierProgram.c_str(), const_cast<char* const*>(argv));
    _exit(127);
}

} // namespace

void SetVerifierProgram(const std::string& path) {
    verifierProgram = path;
}

Verdict VerifyReplay(const std::string& bytes) {
    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0) return refuse(503, "the server cannot start a verifier");
    if (pipe2(fromChild, O_CLOEXEC) != 0) {
        close(toChild[0]);
        close(toChild[1]);
        return refuse(503, "the server cannot start a verifier");
    }
    std::string frames = std::to_string(verifyLimits.maxFrames);
    pid_t pid = fork();
    if (pid == 0) becomeVerifier(toChild[0], fromChild[1], frames);
    close(toChild[0]);
    close(fromChild[1]);
    if (pid < 0) {
        close(toChild[1]);
        close(fromChild[0]);
        return refuse(503, "the server cannot start a verifier");
    }
    fcntl(toChild[1], F_SETFL, O_NONBLOCK);
    // Feed the replay and gather the answer until the child closes its end
    // or the deadline passes.
    std::string answer;
    size_t written = 0;
    int writeFd = toChild[1];
    const int64_t deadline = nowMillis() + int64_t(verifyLimits.wallSeconds) * 1000;
    bool late = false;
    for (;;) {
        if (writeFd >= 0 && written == bytes.size()) {
            close(writeFd);
            writeFd = -1;
        }
        pollfd fds[2] = {{fromChild[0], POLLIN, 0}, {writeFd, POLLOUT, 0}};
        int64_t left = deadline - nowMillis();
        if (left <= 0) {
            late = true;
            break;
        }
        int n = poll(fds, writeFd >= 0 ? 2 : 1, int(left));
        if (n < 0 && errno != EINTR) break;
        if (n <= 0) continue;
        if (writeFd >= 0 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t w = write(writeFd, bytes.data() + written, bytes.size() - written);
            if (w > 0)
                written += size_t(w);
            else if (w < 0 && errno != EAGAIN)
                written = bytes.size(); // the child stopped reading
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buf[512];
            ssize_t r = read(fromChild[0], buf, sizeof buf);
            if (r <= 0) break;
            if (answer.size() < 4096) answer.append(buf, size_t(r));
        }
    }
    if (writeFd >= 0) close(writeFd);
    close(fromChild[0]);
    if (late) kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (late) return refuse(422, "the round took too long to play again");
    if (WIFSIGNALED(status))
        return refuse(422, "the round could not be played within the server's limits");
    char word[16] = {};
    long long a = 0, b = 0, c = 0;
    int consumed = 0;
    if (std::sscanf(answer.c_str(), "%15s %lld %lld %lld", word, &a, &b, &c) == 4 &&
        std::strcmp(word, "ok") == 0) {
        Verdict v;
        v.ok = true;
        v.score = a;
        v.mode = int(b);
        v.frames = c;
        return v;
    }
    if (std::sscanf(answer.c_str(), "refuse %lld %n", &a, &consumed) == 1 && consumed > 0) {
        std::string message = answer.substr(size_t(consumed));
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
            message.pop_back();
        return refuse(int(a), message);
    }
    return refuse(422, "the round could not be played within the server's limits");
}

int VerifyChildMain(int64_t maxFrames) {
    std::string bytes;
    char buf[65536];
    for (;;) {
        ssize_t r = read(0, buf, sizeof buf);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        bytes.append(buf, size_t(r));
        if (bytes.size() > MaxChildBytes) {
            std::printf("refuse 413 the replay is too large\n");
            return 0;
        }
    }
    // Exactly as "--replay FILE --headless" plays it.
    PlatformConfig config;
    config.headless = true;
    config.virtualClock = true;
    config.silentAudio = true;
    if (!PlatformInit(config)) {
        std::printf("refuse 503 the verifier cannot start: %s\n", PlatformError().c_str());
        return 0;
    }
    Verdict v = PlayReplayBytes(bytes, maxFrames);
    PlatformShutdown();
    if (v.ok)
        std::printf("ok %lld %d %lld\n", static_cast<long long>(v.score), v.mode,
                    static_cast<long long>(v.frames));
    else
        std::printf("refuse %d %s\n", v.status, v.error.c_str());
    return 0;
}

Verdict PlayReplayBytes(const std::string& bytes, int64_t maxFrames) {
    Replay replay;
    std::string error;
    if (!DecodeReplay(bytes, replay, error, uint64_t(maxFrames)))
        return refuse(error.rfind(ReplayTooLong, 0) == 0 ? 422 : 400, error);
    CreateProgramTables();
    ReplayOutcome outcome = RunReplayHeadless(replay);
    if (!outcome.endedInTime)
        return refuse(422, "the round ended at frame " + std::to_string(outcome.frames) + " of " +
                               std::to_string(replay.frames.size()) +
                               ": it does not play out as it was played");
    Verdict v;
    v.ok = true;
    v.score = outcome.score;
    v.mode = replay.gameMode;
    v.frames = outcome.frames;
    return v;
}
