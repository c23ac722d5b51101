// store.h - where the world table keeps its rounds and the queue of rounds
// waiting to be played again: SQLite in a folder, or a shared PostgreSQL.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One verified round on the table.
struct WorldRound {
    int64_t id = 0;
    std::string name;
    int64_t score = 0;
    int mode = 0;
    int64_t frames = 0;
    std::string submitted; // "YYYY-MM-DD HH:MM:SS" UTC
};

// A submitted replay waiting to be played again.
struct WorldJob {
    int64_t id = 0;
    std::string name;
    std::string hash; // hex SHA-256 of the replay's bytes
    std::string bytes;
};

// What came of a job: a round on the table or a refusal with its status.
struct JobResult {
    enum State { Waiting, Accepted, Refused } state = Waiting;
    int64_t roundId = 0;
    int status = 0; // HTTP status of a refusal
    std::string error;
};

// The verdict a verifier reaches for a job.
struct Verdict {
    bool ok = false;
    int64_t score = 0;
    int mode = 0;
    int64_t frames = 0;
    int status = 0; // refusal: HTTP status
    std::string error;
};

// A table of rounds and its job queue. Every method is safe to call from
// several threads; each opens its own short transaction.
struct WorldStore {
    virtual ~WorldStore() = default;
    // The round already on the table with these bytes, 0 when none.
    virtual int64_t findHash(const std::string& hash) = 0;
    // Queues a replay; the job's id.
    virtual int64_t enqueue(const std::string& name, const std::string& hash,
                            const std::string& bytes) = 0;
    // Runs verify on one waiting job, if any, and stores its verdict (the round
    // and the job's end commit together); false when the queue was empty.
    virtual bool work(Verdict (*verify)(const std::string& bytes)) = 0;
    virtual JobResult result(int64_t jobId) = 0;
    virtual void forget(int64_t jobId) = 0; // the answer was given
    virtual std::vector<WorldRound> list(int mode, int limit) = 0;
    virtual bool round(int64_t id, WorldRound& out) = 0;
    virtual bool replay(int64_t id, std::string& bytes) = 0;
    virtual int64_t rank(int64_t id) = 0; // 1 = best of its mode
};

// Opens (creating when needed) the table: "postgresql://..." or a folder for
// SQLite. nullptr with error set when it cannot.
std::unique_ptr<WorldStore> OpenSqliteStore(const std::string& folder, std::string& error);
std::unique_ptr<WorldStore> OpenPostgresStore(const std::string& url, std::string& error);
