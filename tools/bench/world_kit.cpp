// world_kit.cpp - the world table's shared helpers for its benchmark and tests.
#include "world_kit.h"

#include "game/game.h"
#include "game/replay.h"
#include "platform/platform.h"
#include "platform/recording.h"
#include "shell/display.h"
#include "shell/shell.h"

#include <arpa/inet.h>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const std::string PgBin = "/usr/lib/postgresql/15/bin/";

// The command prefix that runs a PostgreSQL tool as its own user when we are root.
std::string asPostgres() {
    return geteuid() == 0 ? "runuser -u postgres -- " : "";
}

} // namespace

int FreeLocalPort() {
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

std::string BotRoundReplay(int seed, int mode, int frames) {
    PlatformShutdown();
    PlatformConfig config;
    config.recordingVideo = true;
    config.virtualClock = true;
    config.silentAudio = true;
    config.seed = seed;
    PlatformInit(config);
    OpenDisplay(800, 600, 0, 60);
    display.VirtualWidth = 1280;
    display.VirtualHeight = 960;
    SetLogicalSize(1280, 960);
    Replay replay;
    replay.gameVersion = GameVersion;
    replay.gameMode = shell.GameMode = mode;
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

LocalPostgres::LocalPostgres(const std::string& options) {
    if (!std::filesystem::exists(PgBin + "initdb")) {
        why = "PostgreSQL is not installed (Debian package postgresql)";
        return;
    }
    char pattern[] = "/tmp/zp-pg-XXXXXX";
    if (!mkdtemp(pattern)) {
        why = "no temporary folder for PostgreSQL";
        return;
    }
    dir = std::string(pattern) + "/";
    const int port = FreeLocalPort();
    const std::string setup =
        "chmod 755 " + dir + " && " + (geteuid() == 0 ? "chown postgres " + dir + " && " : "") +
        asPostgres() + PgBin + "initdb -D " + dir + "data -A trust -U zp >/dev/null 2>&1 && " +
        asPostgres() + PgBin + "pg_ctl -D " + dir + "data -l " + dir + "log -w -o \"-p " +
        std::to_string(port) + " -k " + dir + " -c listen_addresses=127.0.0.1 " + options +
        "\" start >/dev/null 2>&1";
    if (std::system(setup.c_str()) != 0) {
        std::ostringstream log;
        log << std::ifstream(dir + "log").rdbuf();
        why = "PostgreSQL could not be started: " + log.str();
        return;
    }
    url = "postgresql://zp@127.0.0.1:" + std::to_string(port) + "/postgres";
}

LocalPostgres::~LocalPostgres() {
    if (!url.empty())
        std::system(
            (asPostgres() + PgBin + "pg_ctl -D " + dir + "data -m immediate stop >/dev/null 2>&1")
                .c_str());
    std::error_code ec;
    if (!dir.empty()) std::filesystem::remove_all(dir, ec);
}
