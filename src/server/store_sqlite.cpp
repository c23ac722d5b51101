// store_sqlite.cpp - the world table in one SQLite file: write-ahead log,
// every commit synced before it returns, one connection behind a lock.
// Jobs are claimed by marking them; claims left by a killed server are
// handed out again when the table is opened.
#include "server/store.h"

#include <mutex>
#include <sqlite3.h>

namespace {

const char* const Schema = R"(
CREATE TABLE IF NOT EXISTS rounds (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  name TEXT NOT NULL, score INTEGER NOT NULL, mode INTEGER NOT NULL, frames INTEGER NOT NULL,
  submitted TEXT NOT NULL DEFAULT (strftime('%Y-%m-%d %H:%M:%S', 'now')),
  hash TEXT NOT NULL UNIQUE, replay BLOB NOT NULL);
CREATE INDEX IF NOT EXISTS rounds_rank ON rounds (mode, score DESC, id);
CREATE TABLE IF NOT EXISTS jobs (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  name TEXT NOT NULL, hash TEXT NOT NULL, replay BLOB NOT NULL,
  state INTEGER NOT NULL DEFAULT 0, round_id INTEGER, status INTEGER, error TEXT);
UPDATE jobs SET state = 0 WHERE state = 1;
DELETE FROM jobs WHERE state >= 2;
)";

enum JobState { Queued = 0, Claimed = 1, Done = 2, Failed = 3 };

// One prepared statement, finalized when it goes out of scope.
struct Statement {
    sqlite3_stmt* s = nullptr;
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &s, nullptr); }
    ~Statement() { sqlite3_finalize(s); }
    Statement& text(int i, const std::string& v) {
        sqlite3_bind_text(s, i, v.data(), int(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& blob(int i, const std::string& v) {
        sqlite3_bind_blob(s, i, v.data(), int(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& num(int i, int64_t v) {
        sqlite3_bind_int64(s, i, v);
        return *this;
    }
    bool row() { return s && sqlite3_step(s) == SQLITE_ROW; }
    bool run() {
        int rc = s ? sqlite3_step(s) : SQLITE_ERROR;
        return rc == SQLITE_DONE || rc == SQLITE_ROW;
    }
    int64_t col(int i) { return sqlite3_column_int64(s, i); }
    std::string str(int i) {
        const void* p = sqlite3_column_blob(s, i);
        return p ? std::string(static_cast<const char*>(p), size_t(sqlite3_column_bytes(s, i)))
                 : std::string();
    }
};

struct SqliteStore : WorldStore {
    sqlite3* db = nullptr;
    std::mutex lock;

    ~SqliteStore() override { sqlite3_close(db); }

    bool exec(const char* sql) {
        return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }

    int64_t findHash(const std::string& hash) override {
        std::lock_guard<std::mutex> hold(lock);
        Statement q(db, "SELECT id FROM rounds WHERE hash = ?");
        q.text(1, hash);
        return q.row() ? q.col(0) : 0;
    }

    int64_t enqueue(const std::string& name, const std::string& hash,
                    const std::string& bytes) override {
        std::lock_guard<std::mutex> hold(lock);
        Statement q(db, "INSERT INTO jobs (name, hash, replay) VALUES (?, ?, ?)");
        q.text(1, name).text(2, hash).blob(3, bytes);
        return q.run() ? sqlite3_last_insert_rowid(db) : 0;
    }

    bool work(Verdict (*verify)(const std::string& bytes)) override {
        WorldJob job;
        {
            std::lock_guard<std::mutex> hold(lock);
            Statement q(db, "UPDATE jobs SET state = 1 WHERE id = (SELECT id FROM jobs WHERE "
                            "state = 0 ORDER BY id LIMIT 1) RETURNING id, name, hash, replay");
            if (!q.row()) return false;
            job.id = q.col(0);
            job.name = q.str(1);
            job.hash = q.str(2);
            job.bytes = q.str(3);
        }
        Verdict v = verify(job.bytes);
        std::lock_guard<std::mutex> hold(lock);
        exec("BEGIN IMMEDIATE");
        if (v.ok) {
            Statement in(db, "INSERT INTO rounds (name, score, mode, frames, hash, replay) "
                             "VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (hash) DO NOTHING");
            in.text(1, job.name).num(2, v.score).num(3, v.mode).num(4, v.frames);
            in.text(5, job.hash).blob(6, job.bytes);
            bool added = in.run() && sqlite3_changes(db) == 1;
            if (added) {
                Statement done(db, "UPDATE jobs SET state = 2, round_id = ? WHERE id = ?");
                done.num(1, sqlite3_last_insert_rowid(db)).num(2, job.id).run();
            } else {
                v.ok = false;
                v.status = 409;
                v.error = "this round is already on the table";
            }
        }
        if (!v.ok) {
            Statement failed(db, "UPDATE jobs SET state = 3, status = ?, error = ? WHERE id = ?");
            failed.num(1, v.status).text(2, v.error).num(3, job.id).run();
        }
        if (!exec("COMMIT")) exec("ROLLBACK");
        return true;
    }

    JobResult result(int64_t jobId) override {
        std::lock_guard<std::mutex> hold(lock);
        Statement q(db, "SELECT state, round_id, status, error FROM jobs WHERE id = ?");
        q.num(1, jobId);
        JobResult r;
        if (!q.row()) {
            r.state = JobResult::Refused;
            r.status = 500;
            r.error = "the submission was lost";
            return r;
        }
        int state = int(q.col(0));
        if (state == Done) {
            r.state = JobResult::Accepted;
            r.roundId = q.col(1);
        } else if (state == Failed) {
            r.state = JobResult::Refused;
            r.status = int(q.col(2));
            r.error = q.str(3);
        }
        return r;
    }

    void forget(int64_t jobId) override {
        std::lock_guard<std::mutex> hold(lock);
        Statement q(db, "DELETE FROM jobs WHERE id = ?");
        q.num(1, jobId).run();
    }

    std::vector<WorldRound> list(int mode, int limit) override {
        std::lock_guard<std::mutex> hold(lock);
        Statement q(db, "SELECT id, name, score, mode, frames, submitted FROM rounds WHERE mode "
                        "= ? ORDER BY score DESC, id LIMIT ?");
        q.num(1, mode).num(2, limit);
        std::vector<WorldRound> out;
        while (q.row())
            out.push_back({q.col(0), q.str(1), q.col(2), int(q.col(3)), q.col(4), q.str(5)});
        return out;
    }

    bool round(int64_t id, WorldRound& out) override {
        std::lock_guard<std::mutex> hold(lock);
        Statement q(db, "SELECT id, name, score, mode, frames, submitted FROM rounds WHERE id = ?");
        q.num(1, id);
        if (!q.row()) return false;
        out = {q.col(0), q.str(1), q.col(2), int(q.col(3)), q.col(4), q.str(5)};
        return true;
    }

    bool replay(int64_t id, std::string& bytes) override {
        std::lock_guard<std::mutex> hold(lock);
        Statement q(db, "SELECT replay FROM rounds WHERE id = ?");
        q.num(1, id);
        if (!q.row()) return false;
        bytes = q.str(0);
        return true;
    }

    int64_t rank(int64_t id) override {
        std::lock_guard<std::mutex> hold(lock);
        Statement q(db, "SELECT 1 + (SELECT COUNT(*) FROM rounds o WHERE o.mode = r.mode AND "
                        "(o.score > r.score OR (o.score = r.score AND o.id < r.id))) "
                        "FROM rounds r WHERE r.id = ?");
        q.num(1, id);
        return q.row() ? q.col(0) : 0;
    }
};

} // namespace

std::unique_ptr<WorldStore> OpenSqliteStore(const std::string& folder, std::string& error) {
    auto store = std::make_unique<SqliteStore>();
    std::string path = folder + "/world.sqlite";
    if (sqlite3_open_v2(path.c_str(), &store->db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        error = "cannot open " + path + ": " + sqlite3_errmsg(store->db);
        return nullptr;
    }
    sqlite3_busy_timeout(store->db, 5000);
    // A commit returns only once the log is on the disk: a 201 is never lost.
    if (!store->exec("PRAGMA journal_mode=WAL") || !store->exec("PRAGMA synchronous=FULL") ||
        !store->exec(Schema)) {
        error = "cannot set up " + path + ": " + sqlite3_errmsg(store->db);
        return nullptr;
    }
    return store;
}
