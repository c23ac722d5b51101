// world.cpp - the outbox of rounds for a world score table and the worker
// thread that empties it. The main thread only writes outbox files and reads
// the worker's results; the worker touches nothing but the outbox folder and
// the network, through the C++ library and HttpPost.
#include "scores/world.h"

#include "game/replay.h"
#include "platform/platform.h"
#include "shell/frame.h"
#include "shell/shell.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

namespace {

constexpr int SendTimeoutSeconds = 60;
constexpr size_t MaxOutboxFile = 1u << 20;

struct WorldState {
    std::string url;    // the table in use, "" none
    std::string outbox; // absolute, ends in '/'
    std::mutex lock;
    std::condition_variable wake, idle;
    bool pending = false, busy = false, stop = false;
    std::string notice;            // to show on the next frame
    std::vector<std::string> logs; // lines for the debug log
    std::thread worker;
};

// Never freed: a round may still be on its way when the program ends.
WorldState& world = *new WorldState;

std::string readWhole(const std::string& path, size_t cap) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    if (in) out << in.rdbuf();
    std::string bytes = out.str();
    return bytes.size() > cap ? std::string() : bytes;
}

// The number after "key": in a flat JSON object, -1 when absent.
long long jsonNumber(const std::string& json, const std::string& key) {
    size_t at = json.find("\"" + key + "\":");
    if (at == std::string::npos) return -1;
    return std::atoll(json.c_str() + at + key.size() + 3);
}

// The text of "error" in a JSON answer (escapes left as they are).
std::string jsonError(const std::string& json) {
    size_t at = json.find("\"error\":\"");
    if (at == std::string::npos) return json.substr(0, 200);
    at += 9;
    size_t end = json.find('"', at);
    return json.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// The replays waiting in the outbox, oldest first.
std::vector<std::string> waitingRounds(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(folder, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".zpr") == 0 &&
            it->is_regular_file(ec))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// One pass over the outbox (worker thread): sends each round, stops at the
// first sign that the table is out of reach. The notice to show.
std::string sendOutbox(const std::string& url, const std::string& folder,
                       std::vector<std::string>& logs) {
    int sent = 0, kept = 0;
    long long rank = -1;
    std::string refused;
    std::vector<std::string> names = waitingRounds(folder);
    for (size_t i = 0; i < names.size(); i++) {
        std::string path = folder + names[i];
        std::string base = path.substr(0, path.size() - 4);
        std::string bytes = readWhole(path, MaxOutboxFile);
        std::string name = readWhole(base + ".name", 256);
        if (name.empty()) name = "Player";
        HttpAnswer a =
            HttpPost(url + "/api/rounds?name=" + UrlQueryText(name), bytes, SendTimeoutSeconds);
        bool retry = a.status == 0 || a.status == 429 || a.status >= 500;
        if (retry) {
            kept = int(names.size() - i);
            logs.push_back("World table: " + (a.status == 0 ? a.error : std::to_string(a.status)) +
                           "; " + std::to_string(kept) + " round(s) kept in the outbox");
            break;
        }
        if (a.status == 201) {
            sent++;
            rank = jsonNumber(a.body, "rank");
            logs.push_back("World table took " + names[i] + ": " + a.body);
        } else if (a.status == 409) {
            logs.push_back("World table already has " + names[i]);
        } else {
            refused = jsonError(a.body);
            logs.push_back("World table refused " + names[i] + " (" + std::to_string(a.status) +
                           "): " + refused);
        }
        std::error_code ec;
        std::filesystem::remove(path, ec);
        std::filesystem::remove(base + ".name", ec);
    }
    if (kept > 0) return "World table unreachable: round kept to send later";
    if (!refused.empty()) return "The world table refused the round: " + refused;
    if (sent > 0)
        return "Sent to the world table" + (rank > 0 ? ": rank " + std::to_string(rank) : "");
    return "";
}

void workerLoop() {
    std::unique_lock<std::mutex> hold(world.lock);
    for (;;) {
        world.wake.wait(hold, [] { return world.pending || world.stop; });
        if (world.stop) return;
        world.pending = false;
        world.busy = true;
        std::string url = world.url, folder = world.outbox;
        hold.unlock();
        std::vector<std::string> logs;
        std::string notice = sendOutbox(url, folder, logs);
        hold.lock();
        if (!notice.empty()) world.notice = notice;
        world.logs.insert(world.logs.end(), logs.begin(), logs.end());
        world.busy = false;
        world.idle.notify_all();
    }
}

// The address without a trailing '/'.
std::string trimmedUrl(std::string url) {
    while (!url.empty() && url.back() == '/') url.pop_back();
    return url;
}

} // namespace

WorldCommand worldCommand;

std::string WorldAddressFromLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        auto trim = [](std::string& s) {
            size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
            s = a == std::string::npos ? "" : s.substr(a, b - a + 1);
        };
        trim(key);
        trim(value);
        std::transform(key.begin(), key.end(), key.begin(), ::tolower);
        if (key == "server" && !value.empty()) return trimmedUrl(value);
    }
    return "";
}

std::string UrlQueryText(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += char(c);
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        }
    }
    return out;
}

void StartWorldTable(const std::string& filesPath, const std::string& gameFolder) {
    std::string url = trimmedUrl(worldCommand.url);
    std::vector<std::string> lines;
    if (url.empty() && FileExists(filesPath + "world.ini") &&
        ReadTextLines(filesPath + "world.ini", lines))
        url = WorldAddressFromLines(lines);
    if (url.empty() || world.worker.joinable()) return;
    world.url = url;
    world.outbox = gameFolder + OutboxFolder + "/";
    MakeDir(gameFolder + OutboxFolder);
    LogLine("World table : " + url);
    world.pending = true; // what an earlier run left
    world.worker = std::thread(workerLoop);
}

bool WorldTableOn() {
    return !world.url.empty();
}

void SendRoundToWorld(const Replay& replay, const std::string& name) {
    if (world.url.empty() || replay.frames.empty()) return;
    auto now = std::chrono::system_clock::now().time_since_epoch();
    char stamp[32];
    std::snprintf(
        stamp, sizeof stamp, "%020lld",
        static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()));
    std::string base = world.outbox + stamp;
    // The name first: a replay in the outbox always has its name beside it.
    if (!WriteFileAtomic(base + ".name", name) ||
        !WriteFileAtomic(base + ".zpr", EncodeReplay(replay))) {
        LogLine("\tCould not put the round in the outbox : " + PlatformError());
        return;
    }
    std::lock_guard<std::mutex> hold(world.lock);
    world.pending = true;
    world.wake.notify_one();
}

void ShowWorldNotice() {
    if (world.url.empty()) return;
    std::string notice;
    std::vector<std::string> logs;
    {
        std::unique_lock<std::mutex> hold(world.lock, std::try_to_lock);
        if (!hold.owns_lock()) return;
        notice.swap(world.notice);
        logs.swap(world.logs);
    }
    for (const std::string& line : logs) LogLine(line);
    if (!notice.empty()) PostNotice(notice, 1);
}

std::string WaitWorldIdle() {
    std::unique_lock<std::mutex> hold(world.lock);
    world.idle.wait(hold, [] { return !world.pending && !world.busy; });
    return world.notice;
}

void StopWorldTable() {
    {
        std::lock_guard<std::mutex> hold(world.lock);
        world.stop = true;
        world.wake.notify_all();
    }
    if (world.worker.joinable()) world.worker.join();
    std::lock_guard<std::mutex> hold(world.lock);
    world.stop = world.pending = world.busy = false;
    world.url.clear();
    world.notice.clear();
    world.logs.clear();
}

int SubmitReplayFile(const std::string& path, const std::string& url, const std::string& name) {
    std::string bytes;
    if (!ReadFileBytes(path, bytes, MaxOutboxFile)) {
        std::fprintf(stderr, "zorvek-plon: --submit: %s\n", PlatformError().c_str());
        return 2;
    }
    HttpAnswer a = HttpPost(trimmedUrl(url) + "/api/rounds?name=" + UrlQueryText(name), bytes,
                            SendTimeoutSeconds);
    if (a.status == 0) {
        std::fprintf(stderr, "zorvek-plon: %s\n", a.error.c_str());
        return 1;
    }
    std::printf("%d %s\n", a.status, a.body.c_str());
    return a.status == 201 ? 0 : 1;
}
