// replay_files.cpp - which replay file belongs to which score record.
//
// "scores.dat" has no room for a file name, so a replay is named from its
// record: the timestamp and a hash of every field the table stores. Records
// that agree in all of them (two equal rounds ending in the same second) get
// numbered names, handed out in table order.
#include "platform/platform.h"
#include "scores/scores.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "text/text.h"

#include <cstdio>
#include <set>

namespace {

const char* const Extension = ".zpr";

// FNV-1a over text.
uint32_t hashText(const std::string& text) {
    uint32_t h = 2166136261u;
    for (unsigned char c : text) h = (h ^ c) * 16777619u;
    return h;
}

// The path of a replay name inside the replay folder.
std::string pathOf(const std::string& name) {
    return std::string(ReplayFolder) + "/" + name;
}

// The name with the given ordinal: 1 has no number, the others "-n".
std::string numbered(const std::string& base, int n) {
    return base + (n == 1 ? std::string() : "-" + std::to_string(n)) + Extension;
}

} // namespace

// "<Timestamp>-<hash>" from the fields as they read back from "scores.dat".
std::string ReplayBaseName(const Scores& record) {
    std::string fields = std::to_string(record.Score) + "|" + Trim(record.Name) + "|" +
                         std::to_string(record.Badges) + "|" + std::to_string(record.Level) + "|" +
                         std::to_string(record.GameMode) + "|" + std::to_string(record.GameFlags) +
                         "|" + std::to_string(record.Quit);
    for (int i = 1; i <= 30; ++i) fields += "|" + std::to_string(record.Best[i]);
    char hash[16];
    std::snprintf(hash, sizeof hash, "%08x", hashText(fields));
    return std::to_string(record.Timestamp) + "-" + hash;
}

// The first numbered name that is neither on disk nor held by a record.
std::string NewReplayName(const Scores& record) {
    std::set<std::string> held;
    for (const Scores& s : scores.ScoreTable)
        if (!s.Replay.empty()) held.insert(s.Replay);
    const std::string base = ReplayBaseName(record);
    for (int n = 1;; ++n) {
        std::string name = numbered(base, n);
        if (!held.count(name) && !FileExists(pathOf(name))) return name;
    }
}

// Gives every record the first free file of its name and removes the rest.
void AttachReplays(bool tableWhole) {
    for (Scores& s : scores.ScoreTable) s.Replay.clear();
    if (!FileExists(ReplayFolder)) return;
    if (!IsRealFolder(ReplayFolder)) {
        // Like the log and the crash marker: a link planted here is not followed.
        LogLine("\tThe replays folder is a link or no folder: replays are neither read nor saved");
        return;
    }
    for (const std::string& name : RemoveLeftoverSaves(ReplayFolder))
        LogLine("\tRemoved an unfinished save: " + pathOf(name));
    const std::vector<std::string> files = ListFiles(ReplayFolder);
    std::set<std::string> unclaimed(files.begin(), files.end());
    for (Scores& s : scores.ScoreTable) {
        const std::string base = ReplayBaseName(s);
        for (int n = 1; n <= int(files.size()); ++n) {
            std::string name = numbered(base, n);
            if (unclaimed.erase(name)) {
                s.Replay = name;
                break;
            }
        }
    }
    if (!tableWhole) {
        // Their records may be in the part of the table that was not read.
        LogLine("\tThe score table was not read whole: no replay is removed");
        return;
    }
    for (const std::string& name : unclaimed) {
        // Only replays are removed; anything else in the folder is left alone.
        if (name.size() <= 4 || name.compare(name.size() - 4, 4, Extension) != 0) continue;
        if (DeleteFile(pathOf(name)))
            LogLine("\tRemoved the replay of a round no longer kept: " + name);
    }
}

namespace {

// Writes the replay file for the record; false with the reason when it fails.
bool writeReplay(Scores& record, const std::string& bytes, std::string& why) {
    MakeDir(ReplayFolder);
    if (!IsRealFolder(ReplayFolder)) {
        why = std::string(ReplayFolder) + " is a link or no folder";
        return false;
    }
    std::string name = NewReplayName(record);
    if (!WriteFileAtomic(pathOf(name), bytes)) {
        why = PlatformError();
        return false;
    }
    record.Replay = name;
    LogLine("Replay saved : " + name);
    return true;
}

} // namespace

// Saves the replay now, or keeps it for RetryReplays and tells the player.
bool StoreReplay(Scores& record, const std::string& bytes) {
    std::string why;
    if (writeReplay(record, bytes, why)) return true;
    LogLine("\tCould not save the replay of the round: " + why);
    PostNotice("Could not save the replay", 1);
    scores.PendingReplays.push_back(PendingReplay{ReplayBaseName(record), bytes});
    return false;
}

// Each pending replay goes to the first record of its name still without one;
// a replay whose record has left the table is dropped.
void RetryReplays() {
    if (scores.PendingReplays.empty()) return;
    std::vector<PendingReplay> still;
    std::string why;
    for (PendingReplay& p : scores.PendingReplays) {
        Scores* owner = nullptr;
        for (Scores& s : scores.ScoreTable)
            if (s.Replay.empty() && ReplayBaseName(s) == p.base) {
                owner = &s;
                break;
            }
        if (!owner) continue;
        if (writeReplay(*owner, p.bytes, why)) continue;
        still.push_back(std::move(p));
    }
    scores.PendingReplays = std::move(still);
    if (!why.empty() && !scores.PendingReplays.empty()) {
        LogLine("\tCould not save a replay again: " + why);
        PostNotice("Could not save the replay", 1);
    }
}

// Deletes the record's replay, if it has one.
void DropReplayOf(const Scores& record) {
    if (!record.Replay.empty()) DeleteFile(pathOf(record.Replay));
}
