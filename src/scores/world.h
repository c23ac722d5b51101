// world.h - sending finished rounds to a world score table, when the player
// asked for one (a "world.ini" in the files folder, or --world URL). Rounds
// wait in the game folder's "outbox/" until a table has taken them; a worker
// thread sends them, so no frame ever waits on the network.
#pragma once

#include <string>
#include <vector>

struct Replay;

inline constexpr const char* OutboxFolder = "outbox";

// The command line's --world URL (overrides world.ini), --submit FILE, --name.
struct WorldCommand {
    std::string url;
    std::string submitPath;
    std::string name = "Player";
};
extern WorldCommand worldCommand;
// Reads world.ini (absolute files folder path) and, when a table is named,
// starts the worker that sends whatever waits in the outbox (gameFolder is
// the absolute path of the game folder).
void StartWorldTable(const std::string& filesPath, const std::string& gameFolder);
bool WorldTableOn();
// Puts the round in the outbox and wakes the worker; nothing when no table.
void SendRoundToWorld(const Replay& replay, const std::string& name);
// Main thread, once a frame: posts one notice when a round was sent or the
// table could not be reached.
void ShowWorldNotice();
// For tests: waits until the worker has nothing more to send (or gave up for
// now); the notice that would be shown next, "" when none.
std::string WaitWorldIdle();
void StopWorldTable(); // ends the worker (tests)

// Sends one replay file to url and prints the table's answer; the exit status
// (0 when the table took it).
int SubmitReplayFile(const std::string& path, const std::string& url, const std::string& name);

// "Server = URL" from world.ini's lines, "" when none.
std::string WorldAddressFromLines(const std::vector<std::string>& lines);
// Percent-encodes text for a URL's query.
std::string UrlQueryText(const std::string& text);
