// world_kit.h - what the world table's benchmark and its tests share: a free
// port on the loopback, a simple player's round as replay bytes, and a
// PostgreSQL cluster of their own in a temporary folder.
#pragma once

#include <string>

// A port on 127.0.0.1 that nobody listens on right now.
int FreeLocalPort();

// A round of up to frames frames in mode by a player circling the field and
// firing from the gun posts, ended by "Quit" when it is still going; played
// on the doubles, which are shut down again afterwards.
std::string BotRoundReplay(int seed, int mode, int frames);

// A PostgreSQL cluster in a temporary folder, run as the postgres user when
// the caller is root, with the server options given; url is empty (and why
// says why) when there is none. Stopped and removed with the object.
struct LocalPostgres {
    std::string dir, url, why;
    explicit LocalPostgres(const std::string& options);
    ~LocalPostgres();
    LocalPostgres(const LocalPostgres&) = delete;
    LocalPostgres& operator=(const LocalPostgres&) = delete;
};
