// world_bench.cpp - the world score table: rounds of a minute played again
// per second on one core, and the latency of reading the table while 200
// distinct rounds are being submitted at once, over SQLite and PostgreSQL.
#include "bench.h"
#include "world_kit.h"

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

// A server on a free port with the given table and verifier count.
struct Server {
    pid_t pid = -1;
    std::string url;
    Server(const std::vector<std::string>& table, int verifiers) {
        int port = FreeLocalPort();
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
    for (int i = 0; i < 4; i++)
        minute.push_back(BotRoundReplay(500 + i * 3, (500 + i * 3) % 3, 3600));
    for (int i = 0; i < 200; i++) batch.push_back(BotRoundReplay(1000 + i, (1000 + i) % 3, 300));
    char pattern[] = "/tmp/zp-bench-world-XXXXXX";
    if (mkdtemp(pattern)) {
        measure(table, "SQLite", {"--data", pattern}, minute, batch);
        std::error_code ec;
        std::filesystem::remove_all(pattern, ec);
    }
    LocalPostgres pg("-c max_connections=400");
    if (pg.url.empty())
        AddBenchNote(table, "world PostgreSQL", "not measured: " + pg.why);
    else
        measure(table, "PostgreSQL", {"--db", pg.url}, minute, batch);
}
