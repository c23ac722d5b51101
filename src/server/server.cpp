// server.cpp - zorvek-plon-server: the world score table over HTTP. Every
// submitted replay is queued, played again by a verifier (in this process's
// worker threads, or any other server's on the same database), and answered
// only once its round is stored or refused.
#include "server/store.h"
#include "server/verify.h"
#include "server/web.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <map>
#include <sys/socket.h>
#include <thread>

namespace {

constexpr size_t MaxReplayBytes = 1u << 20; // hours of play
const char* const ModeNames[3] = {"Easy", "Medium", "Hard"};

const char* const Usage =
    "usage: zorvek-plon-server [--data DIR | --db postgresql://...] [--listen ADDR:PORT]\n"
    "                          [--web DIR] [--verifiers N] [--rate N] [--max-frames N]\n"
    "\n"
    "  --data DIR        keep the table in DIR/world.sqlite (default: the current folder)\n"
    "  --db URL          keep it in PostgreSQL, shared with other servers and verifiers\n"
    "  --listen A:P      address and port to answer on (default 127.0.0.1:8251; port 0\n"
    "                    picks a free one); \"none\" only verifies queued rounds\n"
    "  --web DIR         serve the browser build in DIR at /play/ and link \"Watch\" to it\n"
    "  --verifiers N     rounds played again at the same time here (default: processors)\n"
    "  --rate N          submissions a minute from one address (default 30, 0 no limit)\n"
    "  --max-frames N    longest round taken, in frames (default 216000, an hour)\n";

struct Server {
    std::unique_ptr<WorldStore> store;
    bool watch = false; // the browser build is served at /play/
    int ratePerMinute = 30;
    std::mutex rateLock;
    std::map<std::string, std::deque<std::chrono::steady_clock::time_point>> recent;
    std::mutex doneLock;
    std::condition_variable done; // a local verifier finished a job
    std::condition_variable queued;
    std::atomic<bool> stopping{false};
};

Server server;

void answer(httplib::Response& res, int status, const std::string& json) {
    res.status = status;
    res.set_content(json, "application/json");
}

void refuse(httplib::Response& res, int status, const std::string& error) {
    answer(res, status, "{\"error\":" + JsonText(error) + "}");
}

std::string roundJson(const WorldRound& r, bool withDate) {
    std::string json = "{\"id\":" + std::to_string(r.id) + ",\"name\":" + JsonText(r.name) +
                       ",\"score\":" + std::to_string(r.score) +
                       ",\"mode\":" + std::to_string(r.mode) +
                       ",\"frames\":" + std::to_string(r.frames);
    if (withDate) json += ",\"submitted\":" + JsonText(r.submitted);
    return json;
}

// True when the address may submit again now (and counts it).
bool allowSubmission(const std::string& address) {
    if (server.ratePerMinute <= 0) return true;
    auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> hold(server.rateLock);
    auto& times = server.recent[address];
    while (!times.empty() && now - times.front() > std::chrono::minutes(1)) times.pop_front();
    if (int(times.size()) >= server.ratePerMinute) return false;
    times.push_back(now);
    if (server.recent.size() > 100000) server.recent.clear(); // a flood of addresses
    return true;
}

// Reads a whole number in [low, high] from text; fallback when it is absent.
bool readNumber(const std::string& text, int64_t low, int64_t high, int64_t& out) {
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = std::stoll(text);
    return out >= low && out <= high;
}

// POST /api/rounds?name=NAME: queue, wait for the verdict, answer it.
void postRound(const httplib::Request& req, httplib::Response& res,
               const httplib::ContentReader& reader) {
    if (!allowSubmission(req.remote_addr)) {
        refuse(res, 429, "too many rounds from this address: wait a minute");
        return;
    }
    std::string body;
    bool tooLarge = false;
    // Read no further than one byte past the limit (a packed body is unpacked
    // as it comes, so this also stops a compression bomb).
    reader([&](const char* data, size_t n) {
        tooLarge = body.size() + n > MaxReplayBytes;
        body.append(data, tooLarge ? MaxReplayBytes + 1 - body.size() : n);
        return !tooLarge;
    });
    std::string name, error;
    int status = CheckSubmission(req.get_param_value("name"), body, MaxReplayBytes, name, error);
    if (status != 0) {
        refuse(res, status, error);
        return;
    }
    std::string hash = Sha256Hex(body);
    if (server.store->findHash(hash) != 0) {
        refuse(res, 409, "this round is already on the table");
        return;
    }
    int64_t job = server.store->enqueue(name, hash, body);
    if (job == 0) {
        refuse(res, 503, "the table cannot take rounds now");
        return;
    }
    server.queued.notify_one();
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(verifyLimits.wallSeconds + 60);
    JobResult r;
    for (;;) {
        r = server.store->result(job);
        if (r.state != JobResult::Waiting) break;
        if (std::chrono::steady_clock::now() > deadline) {
            refuse(res, 503, "no verifier got to the round in time; send it again later");
            return;
        }
        std::unique_lock<std::mutex> hold(server.doneLock);
        server.done.wait_for(hold, std::chrono::milliseconds(50));
    }
    server.store->forget(job);
    if (r.state == JobResult::Refused) {
        refuse(res, r.status, r.error);
        return;
    }
    WorldRound round;
    server.store->round(r.roundId, round);
    answer(res, 201,
           roundJson(round, false) + ",\"rank\":" + std::to_string(server.store->rank(round.id)) +
               "}");
}

// GET /api/rounds?mode=M&limit=N
void getRounds(const httplib::Request& req, httplib::Response& res) {
    int64_t mode = 0, limit = 100;
    if (req.has_param("mode") && !readNumber(req.get_param_value("mode"), 0, 2, mode)) {
        refuse(res, 400, "mode is 0 (Easy), 1 (Medium) or 2 (Hard)");
        return;
    }
    if (req.has_param("limit") && !readNumber(req.get_param_value("limit"), 1, 1000, limit)) {
        refuse(res, 400, "limit is from 1 to 1000");
        return;
    }
    std::string json = "[";
    for (const WorldRound& r : server.store->list(int(mode), int(limit)))
        json += (json.size() > 1 ? "," : "") + roundJson(r, true) + "}";
    answer(res, 200, json + "]");
}

// GET /api/rounds/ID/replay
void getReplay(const httplib::Request& req, httplib::Response& res) {
    int64_t id = 0;
    std::string bytes;
    if (!readNumber(req.matches[1], 1, INT64_MAX / 2, id) || !server.store->replay(id, bytes)) {
        refuse(res, 404, "no such round");
        return;
    }
    res.set_header("Cache-Control", "public, max-age=31536000, immutable");
    res.set_content(bytes, "application/octet-stream");
}

// GET /: the three tables.
void getPage(const httplib::Request&, httplib::Response& res) {
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
        "<title>Zorvek Plon - world table</title><style>"
        "body{font-family:sans-serif;margin:0 auto;max-width:60em;padding:0.5em;background:#111;"
        "color:#eee}h1{font-size:1.4em}section{display:inline-block;vertical-align:top;"
        "width:19em;max-width:100%;margin:0 0.5em 1em 0}table{border-collapse:collapse;"
        "width:100%}td,th{padding:0.3em;text-align:left;border-bottom:1px solid #333}"
        "td.n{text-align:right}a{color:#9cf}td.who{overflow-wrap:anywhere}</style></head><body>"
        "<h1>Zorvek Plon - world table</h1><p>Every score here was computed by playing the "
        "round again from its replay.</p>\n";
    for (int mode = 0; mode < 3; mode++) {
        html += "<section><h2>" + std::string(ModeNames[mode]) +
                "</h2><table><tr><th>#</th><th>Name</th><th>Score</th><th></th></tr>\n";
        int place = 0;
        for (const WorldRound& r : server.store->list(mode, 25)) {
            html += "<tr><td class=\"n\">" + std::to_string(++place) + "</td><td class=\"who\">" +
                    HtmlText(r.name) + "</td><td class=\"n\">" + std::to_string(r.score) +
                    "</td><td>";
            if (server.watch)
                html += "<a href=\"/play/index.html?--replay=/api/rounds/" + std::to_string(r.id) +
                        "/replay\">Watch</a>";
            html += "</td></tr>\n";
        }
        html += "</table></section>\n";
    }
    res.set_content(html + "</body></html>\n", "text/html; charset=utf-8");
}

// One verifier thread: plays queued jobs until the server stops.
void verifierLoop() {
    while (!server.stopping) {
        bool worked = false;
        try {
            worked = server.store->work(VerifyReplay);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "zorvek-plon-server: verifier: %s\n", e.what());
        }
        if (worked) {
            server.done.notify_all();
            continue;
        }
        std::unique_lock<std::mutex> hold(server.doneLock);
        server.queued.wait_for(hold, std::chrono::milliseconds(200));
    }
}

int usage(const std::string& complaint) {
    std::fprintf(stderr, "zorvek-plon-server: %s\n%s", complaint.c_str(), Usage);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--verify-child")
        return VerifyChildMain(std::atoll(argv[2]));
    std::string data = ".", db, listen = "127.0.0.1:8251", web;
    int64_t verifiers = std::max(1u, std::thread::hardware_concurrency());
    int64_t rate = 30, frames = verifyLimits.maxFrames;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (i + 1 >= argc) return usage(arg + " needs a value");
        std::string value = argv[++i];
        if (arg == "--data")
            data = value;
        else if (arg == "--db")
            db = value;
        else if (arg == "--listen")
            listen = value;
        else if (arg == "--web")
            web = value;
        else if (arg == "--verifiers" && readNumber(value, 0, 256, verifiers))
            continue;
        else if (arg == "--rate" && readNumber(value, 0, 1000000, rate))
            continue;
        else if (arg == "--max-frames" && readNumber(value, 1, 100000000, frames))
            continue;
        else
            return usage("bad argument: " + arg + " " + value);
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) SetVerifierProgram(self.string());
    verifyLimits.maxFrames = frames;
    server.ratePerMinute = int(rate);
    std::string error;
    if (!db.empty()) {
        if (db.rfind("postgresql://", 0) != 0 && db.rfind("postgres://", 0) != 0)
            return usage("--db needs a postgresql:// address");
        server.store = OpenPostgresStore(db, error);
    } else {
        std::filesystem::create_directories(data, ec);
        server.store = OpenSqliteStore(data, error);
    }
    if (!server.store) {
        std::fprintf(stderr, "zorvek-plon-server: %s\n", error.c_str());
        return 1;
    }
    std::vector<std::thread> workers;
    for (int64_t i = 0; i < verifiers; i++) workers.emplace_back(verifierLoop);
    if (listen == "none") {
        std::printf("verifying rounds queued in the table\n");
        std::fflush(stdout);
        for (auto& w : workers) w.join();
        return 0;
    }
    std::string host;
    int port = 0;
    if (!SplitListen(listen, host, port)) return usage("--listen needs ADDR:PORT");

    httplib::Server http;
    http.new_task_queue = [] { return new httplib::ThreadPool(256); };
    // A busy machine may take a while to send a whole replay.
    http.set_read_timeout(30, 0);
    http.set_keep_alive_timeout(30);
    http.Post("/api/rounds", postRound);
    http.Get("/api/rounds", getRounds);
    http.Get(R"(/api/rounds/(\d+)/replay)", getReplay);
    http.Get("/", getPage);
    if (!web.empty()) {
        if (!http.set_mount_point("/play", web)) return usage("--web: no such folder: " + web);
        http.set_file_extension_and_mimetype_mapping("wasm", "application/wasm");
        server.watch = true;
    }
    http.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            refuse(res, 503, "the table is unavailable");
        });
    http.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty())
            refuse(res, res.status, res.status == 404 ? "not found" : "bad request");
    });
    // The library listens with a backlog of 5; a burst of players needs more.
    static int listening = -1;
    http.set_socket_options([](socket_t sock) {
        httplib::default_socket_options(sock);
        listening = sock;
    });
    int bound =
        port == 0 ? http.bind_to_any_port(host) : (http.bind_to_port(host, port) ? port : -1);
    if (bound < 0) {
        std::fprintf(stderr, "zorvek-plon-server: cannot listen on %s\n", listen.c_str());
        return 1;
    }
    if (listening >= 0) ::listen(listening, 1024);
    std::printf("listening on http://%s:%d/\n", host.c_str(), bound);
    std::fflush(stdout);
    http.listen_after_bind();
    server.stopping = true;
    server.queued.notify_all();
    for (auto& w : workers) w.join();
    return 0;
}
