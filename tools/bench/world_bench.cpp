// world_bench.cpp - the world score table: rounds of a minute played again
// per second on one core, and the latency of reading the table while 200
// distinct rounds are being submitted at once, over SQLite and PostgreSQL.
#include "bench.h"

#include "game/game.h"
#include "game/replay.h"
#include "platform/recording.h"
#include "shell/display.h"
#include "shell/shell.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// A port nobody listens on now.
int freePort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    close(s);
    return ntohs(a.sin_port);
}

// A round of up to frames frames by a player circling the field and firing
// from the gun posts, ended by "Quit" when it is still going.
std::string playedRound(int seed, int frames) {
    PlatformConfig config;
    config.recordingVideo = true;
    config.virtualClock = true;
    config.silentAudio = true;
    config.seed = seed;
    PlatformInit(config);
    OpenDisplay(800, 600, 0, 60);
    SetLogicalSize(1280, 960);
    display.VirtualWidth = 1280;
    display.VirtualHeight = 960;
    Replay replay;
    replay.gameVersion = GameVersion;
    replay.gameMode = shell.GameMode = seed % 3;
    replay.random = RandomStateNow();
    BeginRound();
    for (int i = 0; i < frames && game.Over == 0; i++) {
        RoundInput in;
        in.left = i % 30 < 3;
        in.right = true;
        bool post = in.left && !game.GunPosts.empty();
        in.mouseX = post ? int(game.GunPosts.front().x) : 640 + int(300 * std::cos(i * 0.05));
        in.mouseY = post ? int(game.GunPosts.front().y) : 480 + int(200 * std::sin(i * 0.07));
        game.Input = in;
        RoundStep();
        ClearRecordedDraws();
        replay.frames.push_back({in});
    }
    if (game.Over == 0) replay.frames.back().quit = true;
    PlatformShutdown();
    return EncodeReplay(replay);
}

// A PostgreSQL cluster of its own in a temporary folder (as the postgres
// user when run as root); url "" when it cannot start.
struct Postgres {
    std::string dir, url, bin = "/usr/lib/postgresql/15/bin/";
    std::string as() const { return geteuid() == 0 ? "runuser -u postgres -- " : ""; }
    Postgres() {
        char pattern[] = "/tmp/zp-bench-pg-XXXXXX";
        if (!std::filesystem::exists(bin + "initdb") || !mkdtemp(pattern)) return;
        dir = std::string(pattern) + "/";
        int port = freePort();
        std::string setup = "chmod 755 " + dir + " && " +
                            (geteuid() == 0 ? "chown postgres " + dir + " && " : "") + as() + bin +
                            "initdb -D " + dir + "data -A trust -U zp >/dev/null 2>&1 && " + as() +
                            bin + "pg_ctl -D " + dir + "data -l " + dir + "log -w -o \"-p " +
                            std::to_string(port) + " -k " + dir +
                            " -c listen_addresses=127.0.0.1 -c max_connections=400\" start "
                            ">/dev/null 2>&1";
        if (std::system(setup.c_str()) == 0)
            url = "postgresql://zp@127.0.0.1:" + std::to_string(port) + "/postgres";
    }
    ~Postgres() {
        if (!url.empty())
            std::system(
                (as() + bin + "pg_ctl -D " + dir + "data -m fast stop >/dev/null 2>&1").c_str());
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

// A server on a free port with the given table and verifier count.
struct Server {
    pid_t pid = -1;
    std::string url;
    Server(const std::vector<std::string>& table, int verifiers) {
        int port = freePort();
        url = "http://127.0.0.1:" + std::to_string(port);
        std::vector<std::string> args = {
            (std::filesystem::path(BenchProgramPath()).parent_path() / "zorvek-plon-server")
                .string(),
            "--listen",
            "127.0.0.1:" + std::to_string(port),
            "--rate",
            "0",
            "--verifiers",
            std::to_string(verifiers)};
        args.insert(args.end(), table.begin(), table.end());
        pid = fork();
        if (pid == 0) {
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            freopen("/dev/null", "w", stdout);
            execv(argv[0], argv.data());
            _exit(127);
        }
        for (int i = 0; i < 500 && HttpGet(url + "/api/rounds", 1).status != 200; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ~Server() {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
};

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

// Both figures for one kind of table.
void measure(BenchTable& table, const std::string& kind, const std::vector<std::string>& args,
             const std::vector<std::string>& minuteRounds, const std::vector<std::string>& batch) {
    {
        // One verifier: rounds a second on one core, one after the other.
        Server s(args, 1);
        auto start = Clock::now();
        int ok = 0;
        for (const std::string& r : minuteRounds)
            ok += HttpPost(s.url + "/api/rounds?name=bench", r, 300).status == 201;
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        // The player may be overrun before the minute: the rate is also given
        // in minutes of play, from the frames verified.
        int64_t frames = 0;
        for (const std::string& bytes : minuteRounds) {
            Replay r;
            std::string error;
            if (DecodeReplay(bytes, r, error)) frames += int64_t(r.frames.size());
        }
        std::string length = std::to_string(frames / int64_t(minuteRounds.size()));
        if (ok == int(minuteRounds.size())) {
            AddBenchRange(table,
                          "world " + kind + ": rounds of " + length + " frames verified per core",
                          ok / seconds, "rounds/s", 1, 1e308);
            AddBenchRange(table, "world " + kind + ": the same in one-minute rounds (3600 frames)",
                          double(frames) / 3600 / seconds, "rounds/s", 1, 1e308);
        } else
            AddBenchNote(table, "world " + kind + ": rounds verified per core",
                         "only " + std::to_string(ok) + " accepted");
    }
    Server s(args, int(std::max(1u, std::thread::hardware_concurrency())));
    std::atomic<int> left{int(batch.size())}, accepted{0};
    std::vector<std::string> answers(batch.size());
    std::vector<std::thread> senders;
    for (size_t i = 0; i < batch.size(); i++)
        senders.emplace_back([&, i] {
            HttpAnswer a =
                HttpPost(s.url + "/api/rounds?name=p" + std::to_string(i), batch[i], 600);
            accepted += a.status == 201;
            if (a.status != 201) answers[i] = std::to_string(a.status) + " " + a.body + a.error;
            left--;
        });
    std::vector<double> millis;
    while (left > 0) {
        auto start = Clock::now();
        HttpAnswer a = HttpGet(s.url + "/api/rounds?mode=0&limit=25", 30);
        if (a.status == 200)
            millis.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    for (auto& t : senders) t.join();
    std::string name =
        "world " + kind + ": GET under " + std::to_string(batch.size()) + " submissions";
    AddBenchRow(table, name + " p50", percentile(millis, 0.5), "ms", 50);
    AddBenchRow(table, name + " p99", percentile(millis, 0.99), "ms", 250);
    if (accepted != int(batch.size())) {
        std::string first;
        for (const std::string& a : answers)
            if (first.empty()) first = a;
        AddBenchNote(table, name,
                     "only " + std::to_string(accepted.load()) +
                         " accepted; first refusal: " + first);
    }
}

} // namespace

void BenchWorld(BenchTable& table) {
    std::vector<std::string> minute, batch;
    for (int i = 0; i < 4; i++) minute.push_back(playedRound(500 + i * 3, 3600));
    for (int i = 0; i < 200; i++) batch.push_back(playedRound(1000 + i, 300));
    char pattern[] = "/tmp/zp-bench-world-XXXXXX";
    if (mkdtemp(pattern)) {
        measure(table, "SQLite", {"--data", pattern}, minute, batch);
        std::error_code ec;
        std::filesystem::remove_all(pattern, ec);
    }
    Postgres pg;
    if (pg.url.empty())
        AddBenchNote(table, "world PostgreSQL", "not measured: PostgreSQL could not be started");
    else
        measure(table, "PostgreSQL", {"--db", pg.url}, minute, batch);
}
