// world_test.cpp - the world score table end to end: a real server on
// 127.0.0.1 over SQLite and over a PostgreSQL the test starts itself; a
// scripted round ranked with the score "--replay --headless" gives; bad
// replays refused; a server killed mid-batch keeping every accepted round;
// a live round waiting in the game's outbox, which is sent after a restart;
// names shown as text (in headless Chromium where it is installed).
#include "game/game.h"
#include "game/replay.h"
#include "platform/platform.h"
#include "scores/world.h"
#include "server/web.h"
#include "shell/display.h"
#include "shell/shell.h"
#include "support/fixture.h"
#include "support/run.h"
#include "world_kit.h"

#include <arpa/inet.h>
#include <atomic>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <set>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

const std::string ServerBinary = std::string(ZP_BINARY_DIR) + "/zorvek-plon-server";

// The kit's short round from fresh state: seed and mode make it distinct; it
// ends by "Quit" after frames frames unless overrun before.
std::string botReplay(int seed, int mode, int frames) {
    ResetAllState();
    return BotRoundReplay(seed, mode, frames);
}

// Each test's PostgreSQL loses nothing it needs by skipping the disk's flushes.
const char* const PgOptions = "-c fsync=off";

// A running zorvek-plon-server on its own port.
struct Server {
    int pid = -1, port = 0;
    std::string url;
    void start(const std::vector<std::string>& args) {
        port = FreeLocalPort();
        url = "http://127.0.0.1:" + std::to_string(port);
        std::vector<std::string> argv = {ServerBinary, "--listen",
                                         "127.0.0.1:" + std::to_string(port), "--verifiers", "2"};
        argv.insert(argv.end(), args.begin(), args.end());
        pid = StartProcess(argv);
        httplib::Client c(url);
        for (int i = 0; i < 500 && !c.Get("/api/rounds"); i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    void kill9() {
        kill(pid, SIGKILL);
        WaitProcess(pid, 10000);
        pid = -1;
    }
    ~Server() {
        if (pid > 0) StopProcess(pid);
    }
};

httplib::Result post(const std::string& url, const std::string& name, const std::string& bytes) {
    httplib::Client c(url);
    c.set_read_timeout(120, 0);
    return c.Post(("/api/rounds?name=" + UrlQueryText(name)).c_str(), bytes,
                  "application/octet-stream");
}

std::string get(const std::string& url, const std::string& path) {
    httplib::Client c(url);
    auto r = c.Get(path.c_str());
    return r && r->status == 200 ? r->body : "(no answer)";
}

// The scripted round played live once: its replay file and the score
// "--replay --headless" gives for it.
struct ScriptedRound {
    std::string replay;
    std::string score;
};
const ScriptedRound& scriptedRound() {
    static ScriptedRound round = [] {
        ScriptedRound r;
        std::string dir = MakeFilesCopy("world-live");
        // Played with a table named that no one answers: the round waits in
        // the outbox, the very bytes of its replay.
        std::string nowhere = "http://127.0.0.1:" + std::to_string(FreeLocalPort());
        EXPECT_EQ(RunScripted(dir, ShootingRoundScript(), {"--world", nowhere}).status, 0);
        auto names = FolderNames(dir + "251/replays");
        if (names.empty()) return r;
        r.replay = dir + "251/replays/" + names[0];
        std::string outbox = dir + "251/outbox/";
        auto waiting = FolderNames(outbox);
        EXPECT_EQ(waiting.size(), 2u);
        if (waiting.size() == 2) {
            EXPECT_EQ(ReadWholeFile(outbox + waiting[0]), "Zed");
            EXPECT_EQ(ReadWholeFile(outbox + waiting[1]), ReadWholeFile(r.replay));
        }
        RunResult run = RunGame({"--replay", r.replay, "--headless"});
        EXPECT_EQ(run.status, 0) << run.err;
        size_t at = run.out.find("score ");
        r.score = run.out.substr(at + 6, run.out.find(',') - at - 6);
        return r;
    }();
    return round;
}

class WorldTable : public ::testing::TestWithParam<std::string> {
  protected:
    std::unique_ptr<LocalPostgres> pg;
    std::string data;
    // Arguments choosing the backend: a folder, or the test's PostgreSQL.
    std::vector<std::string> backend() {
        if (GetParam() == "sqlite") {
            if (data.empty()) data = MakeTempDir("world-data");
            return {"--data", data};
        }
        if (!pg) pg = std::make_unique<LocalPostgres>(PgOptions);
        return {"--db", pg->url};
    }
    void SetUp() override {
        if (GetParam() == "postgresql" &&
            (pg = std::make_unique<LocalPostgres>(PgOptions))->url.empty())
            GTEST_SKIP() << pg->why;
    }
};

// The game's own --submit of a live round: ranked with the replay's score,
// listed, its bytes served back, refused the second time.
TEST_P(WorldTable, RanksAScriptedRoundWithTheScoreItsReplayGives) {
    const ScriptedRound& round = scriptedRound();
    ASSERT_FALSE(round.score.empty());
    Server s;
    s.start(backend());
    RunResult sent = RunGame({"--submit", round.replay, "--world", s.url, "--name", "Zed"});
    EXPECT_EQ(sent.status, 0) << sent.err;
    EXPECT_EQ(sent.out.rfind("201 {\"id\":", 0), 0u) << sent.out;
    EXPECT_NE(sent.out.find("\"name\":\"Zed\",\"score\":" + round.score + ",\"mode\":0"),
              std::string::npos)
        << sent.out;
    EXPECT_NE(sent.out.find("\"rank\":1"), std::string::npos) << sent.out;
    post(s.url, "Amy", botReplay(3, 0, 300));
    std::string list = get(s.url, "/api/rounds?mode=0&limit=10");
    size_t zed = list.find("\"name\":\"Zed\",\"score\":" + round.score),
           amy = list.find("\"name\":\"Amy\"");
    EXPECT_NE(zed, std::string::npos) << list;
    EXPECT_LT(zed, amy) << "highest first: " << list;
    EXPECT_EQ(get(s.url, "/api/rounds/1/replay"), ReadWholeFile(round.replay));
    RunResult again = RunGame({"--submit", round.replay, "--world", s.url});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.out.rfind("409 ", 0), 0u) << again.out;
}

// Everything a hostile or broken client may send, refused with its status
// and a JSON error, and the server still answering afterwards.
TEST_P(WorldTable, RefusesBadReplaysWithoutHarm) {
    Server s;
    s.start(backend());
    std::string good = botReplay(5, 1, 200);
    std::string damaged = good, foreign = good, diverging;
    damaged[damaged.size() - 3] ^= 0x5A;
    foreign[11] = 'X'; // the game version's text
    {
        Replay r;
        std::string error;
        ASSERT_TRUE(DecodeReplay(good, r, error));
        r.frames.push_back(r.frames.back());
        r.frames[r.frames.size() - 2].quit = false;
        r.frames.back().quit = false; // the round never ends
        diverging = EncodeReplay(r);
    }
    // 60 MB of frames packed into some 60 KB: claims 60 million empty frames.
    std::string body = std::string("\x00\x00\x05\xc0\x03", 5) + std::string(8, '\0');
    for (uint64_t n = 60000000; n; n >>= 7) body += char((n & 0x7F) | (n >= 0x80 ? 0x80 : 0));
    body.append(60000000, '\0');
    std::string bomb = good.substr(0, 11 + uint8_t(good[10]));
    for (int i = 0; i < 4; i++) bomb += char((body.size() >> (8 * i)) & 0xFF);
    bomb += CompressBytes(body);
    struct Case {
        const char* what;
        std::string name, body;
        int status;
    } cases[] = {
        {"not a replay", "Al", "hello, world", 400},
        {"damaged", "Al", damaged, 400},
        {"another version's", "Al", foreign, 400},
        {"cut short", "Al", good.substr(0, good.size() / 2), 400},
        {"no name", "", good, 400},
        {"larger than 1 MB", "Al", good + std::string(2u << 20, 'x'), 413},
        {"a zlib bomb", "Al", bomb, 400},
        {"not ending where it ends", "Al", diverging, 422},
    };
    for (const Case& c : cases) {
        auto r = post(s.url, c.name, c.body);
        ASSERT_TRUE(r) << c.what;
        EXPECT_EQ(r->status, c.status) << c.what << ": " << r->body;
        EXPECT_EQ(r->body.rfind("{\"error\":\"", 0), 0u) << c.what << ": " << r->body;
    }
    auto r = post(s.url, "Al", good);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 201) << r->body;
    struct Read {
        const char* path;
        int status;
    } reads[] = {{"/api/rounds?mode=3", 400},    {"/api/rounds?limit=0", 400},
                 {"/api/rounds?mode=x", 400},    {"/api/rounds/999/replay", 404},
                 {"/api/rounds/1x/replay", 404}, {"/nothing/here", 404}};
    httplib::Client c(s.url);
    for (const Read& read : reads) {
        auto answer = c.Get(read.path);
        ASSERT_TRUE(answer) << read.path;
        EXPECT_EQ(answer->status, read.status) << read.path;
        EXPECT_EQ(answer->body.rfind("{\"error\":\"", 0), 0u) << read.path << ": " << answer->body;
    }
    EXPECT_NE(get(s.url, "/api/rounds?mode=1").find("\"name\":\"Al\""), std::string::npos);
}

// Rounds sent at once while the server is killed: after a restart every
// round answered 201 is listed with its score, and nothing half-stored
// stands in the way of sending the rest again.
TEST_P(WorldTable, KeepsEveryAcceptedRoundThroughSigkill) {
    std::vector<std::string> replays;
    for (int i = 0; i < 10; i++) replays.push_back(botReplay(100 + i, 2, 240 + 30 * i));
    Server s;
    s.start(backend());
    std::vector<std::string> accepted(replays.size());
    std::atomic<int> count{0};
    std::vector<std::thread> senders;
    for (size_t i = 0; i < replays.size(); i++)
        senders.emplace_back([&, i] {
            auto r = post(s.url, "P" + std::to_string(i), replays[i]);
            if (r && r->status == 201) {
                accepted[i] = r->body.substr(0, r->body.find(",\"rank\""));
                count++;
            }
        });
    while (count < 3) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    s.kill9();
    for (auto& t : senders) t.join();
    s.start(backend());
    std::string list = get(s.url, "/api/rounds?mode=2&limit=100");
    int listed = 0;
    for (size_t i = 0; i < replays.size(); i++) {
        if (accepted[i].empty()) continue;
        listed++;
        std::string row = accepted[i].substr(1); // without its "{"
        EXPECT_NE(list.find(row), std::string::npos) << row << " missing from " << list;
    }
    EXPECT_GE(listed, 3);
    // A round stored just before the kill was never answered: it is on the
    // table whole (409 now), and every other one goes in now.
    for (size_t i = 0; i < replays.size(); i++) {
        auto r = post(s.url, "P" + std::to_string(i), replays[i]);
        ASSERT_TRUE(r);
        if (!accepted[i].empty())
            EXPECT_EQ(r->status, 409) << i << ": " << r->body;
        else
            EXPECT_TRUE(r->status == 201 || r->status == 409) << i << ": " << r->body;
    }
    std::set<std::string> served, sent(replays.begin(), replays.end());
    list = get(s.url, "/api/rounds?mode=2&limit=100");
    for (size_t at = list.find("{\"id\":"); at != std::string::npos;
         at = list.find("{\"id\":", at + 1))
        served.insert(get(
            s.url, "/api/rounds/" + std::to_string(std::atoll(list.c_str() + at + 6)) + "/replay"));
    EXPECT_EQ(served, sent);
}

// A name with markup in it is text on the page; "Watch" opens the browser build.
TEST_P(WorldTable, ShowsNamesAsTextOnThePage) {
    std::string web = MakeTempDir("world-web");
    WriteWholeFile(web + "index.html", "<p>game</p>");
    Server s;
    std::vector<std::string> args = backend();
    args.insert(args.end(), {"--web", web});
    s.start(args);
    ASSERT_EQ(post(s.url, "<img src=x onerror=alert(1)>&'\"", botReplay(9, 2, 120))->status, 201);
    std::string page = get(s.url, "/");
    EXPECT_NE(page.find("&lt;img src=x onerror=alert(1)&gt;&amp;&#39;&quot;"), std::string::npos)
        << page;
    EXPECT_EQ(page.find("<img"), std::string::npos);
    EXPECT_NE(page.find("href=\"/play/index.html?--replay=/api/rounds/1/replay\">Watch"),
              std::string::npos);
    EXPECT_EQ(get(s.url, "/play/index.html"), "<p>game</p>");
    if (GetParam() != "sqlite") return; // the page is the same over either table
    if (!ProgramInPath("chromium")) {
        std::printf("(no chromium here: the page's escaping was checked in its HTML only)\n");
        return;
    }
    // What a browser makes of the page: the name is a text node, no element.
    std::string tmp = MakeTempDir("world-chromium");
    std::string command = "timeout 120 chromium --headless --no-sandbox --disable-gpu "
                          "--user-data-dir=" +
                          tmp + "profile --dump-dom " + s.url + "/ > " + tmp +
                          "dom.html 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::string dom = ReadWholeFile(tmp + "dom.html");
    EXPECT_NE(dom.find("<td class=\"who\">&lt;img src=x onerror=alert(1)&gt;&amp;'\"</td>"),
              std::string::npos)
        << dom;
    EXPECT_EQ(dom.find("<img"), std::string::npos) << dom;
}

INSTANTIATE_TEST_SUITE_P(Backends, WorldTable, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return info.param; });

// Two servers on one PostgreSQL table: a round sent to one is ranked by both.
TEST(WorldTablePostgres, ServersShareOneTable) {
    LocalPostgres pg(PgOptions);
    if (pg.url.empty()) GTEST_SKIP() << pg.why;
    Server a, b;
    a.start({"--db", pg.url});
    b.start({"--db", pg.url, "--verifiers", "0"}); // verified by a's workers
    ASSERT_EQ(post(b.url, "Bo", botReplay(21, 0, 150))->status, 201);
    EXPECT_NE(get(a.url, "/api/rounds").find("\"name\":\"Bo\""), std::string::npos);
}

// The game's rounds wait in the outbox while the table is unreachable and go
// at the next start, with one notice each time.
TEST(WorldOutbox, SendsWaitingRoundsAtTheNextStart) {
    std::string files = MakeTempDir("world-files"), gameDir = files + "251/";
    MakeDir(gameDir);
    std::string replay = botReplay(31, 0, 150);
    Replay decoded;
    std::string error;
    ASSERT_TRUE(DecodeReplay(replay, decoded, error));
    worldCommand.url = "http://127.0.0.1:" + std::to_string(FreeLocalPort());
    StartWorldTable(files, gameDir);
    SendRoundToWorld(decoded, "Oz");
    EXPECT_EQ(WaitWorldIdle(), "World table unreachable: round kept to send later");
    EXPECT_EQ(FolderNames(gameDir + "outbox").size(), 2u); // the replay and its name
    StopWorldTable();

    Server s;
    s.start({"--data", MakeTempDir("world-data")});
    worldCommand.url.clear(); // now named by world.ini
    WriteWholeFile(files + "world.ini", "Server = " + s.url + "/\r\n");
    StartWorldTable(files, gameDir);
    EXPECT_EQ(WaitWorldIdle(), "Sent to the world table: rank 1");
    EXPECT_TRUE(FolderNames(gameDir + "outbox").empty());
    EXPECT_NE(get(s.url, "/api/rounds").find("\"name\":\"Oz\""), std::string::npos);
    StopWorldTable();
}

// Submissions past the rate from one address wait.
TEST(WorldTableLimits, RefusesTooManyFromOneAddress) {
    Server s;
    s.start({"--data", MakeTempDir("world-data"), "--rate", "2"});
    std::vector<int> statuses;
    for (int i = 0; i < 3; i++) statuses.push_back(post(s.url, "R", "not a replay")->status);
    EXPECT_EQ(statuses, (std::vector<int>{400, 400, 429}));
}

TEST(WorldText, EscapesHashesAndCleansNames) {
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex(std::string(1000, 'a')).substr(0, 16), "41edece42d63e8d9");
    struct {
        std::string in, name, json;
    } cases[] = {
        {"  Zed ", "Zed", "\"  Zed \""},
        {"A\"b\\c", "A\"b\\c", "\"A\\\"b\\\\c\""},
        {"tab\there", "tabhere", "\"tab\\u0009here\""},
        {"J\xfcrgen", "J\xc3\xbcrgen", "\"J\xc3\xbcrgen\""}, // Latin-1 from the game
        {"\xc3\xa9t\xc3\xa9", "\xc3\xa9t\xc3\xa9", "\"\xc3\xa9t\xc3\xa9\""},
        {"   ", "", "\"   \""},
        {std::string(41, 'x'), "", "\"" + std::string(41, 'x') + "\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CleanName(c.in, 40), c.name) << c.in;
        EXPECT_EQ(JsonText(c.in), c.json) << c.in;
    }
}

} // namespace

namespace {

TEST(WorldIni, ReadsTheServerLine) {
    struct {
        std::vector<std::string> lines;
        std::string url;
    } cases[] = {
        {{"Server = http://a.example:8251"}, "http://a.example:8251"},
        {{"; the world table", "  server=http://b.example/ "}, "http://b.example"},
        {{"SERVER\t=\thttp://c.example//"}, "http://c.example"},
        {{"Name = x", "Server ="}, ""},
        {{"Serverx = http://d.example"}, ""},
        {{}, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(WorldAddressFromLines(c.lines), c.url) << c.lines.size();
}

} // namespace
