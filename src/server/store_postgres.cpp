// store_postgres.cpp - the world table in PostgreSQL, shared by any number of
// servers and verifiers. A verifier claims a job by locking its row
// (FOR UPDATE SKIP LOCKED) for the whole play; the round and the job's end
// commit together, and a verifier that dies simply lets the lock go.
#include "server/store.h"

#include <mutex>
#include <pqxx/pqxx>

namespace {

const char* const Schema = R"(
SELECT pg_advisory_xact_lock(251251);
CREATE TABLE IF NOT EXISTS rounds (
  id BIGSERIAL PRIMARY KEY,
  name TEXT NOT NULL, score BIGINT NOT NULL, mode INTEGER NOT NULL, frames BIGINT NOT NULL,
  submitted TIMESTAMP NOT NULL DEFAULT (now() AT TIME ZONE 'utc'),
  hash TEXT NOT NULL UNIQUE, replay BYTEA NOT NULL);
CREATE INDEX IF NOT EXISTS rounds_rank ON rounds (mode, score DESC, id);
CREATE TABLE IF NOT EXISTS jobs (
  id BIGSERIAL PRIMARY KEY,
  name TEXT NOT NULL, hash TEXT NOT NULL, replay BYTEA NOT NULL,
  state INTEGER NOT NULL DEFAULT 0, round_id BIGINT, status INTEGER, error TEXT,
  created TIMESTAMP NOT NULL DEFAULT now());
CREATE INDEX IF NOT EXISTS jobs_waiting ON jobs (id) WHERE state = 0;
DELETE FROM jobs WHERE state >= 2 AND created < now() - interval '1 hour';
)";

WorldRound readRound(const pqxx::row& r) {
    return {r[0].as<int64_t>(), r[1].as<std::string>(), r[2].as<int64_t>(),
            r[3].as<int>(),     r[4].as<int64_t>(),     r[5].as<std::string>()};
}

std::string bytesOf(const pqxx::field& f) {
    pqxx::binarystring b(f);
    return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

struct PostgresStore : WorldStore {
    std::string url;
    std::mutex lock;
    std::vector<std::unique_ptr<pqxx::connection>> idle; // connections not in use

    // A connection for one call, back to the pool afterwards.
    struct Lease {
        PostgresStore& store;
        std::unique_ptr<pqxx::connection> c;
        explicit Lease(PostgresStore& s) : store(s) {
            {
                std::lock_guard<std::mutex> hold(store.lock);
                if (!store.idle.empty()) {
                    c = std::move(store.idle.back());
                    store.idle.pop_back();
                }
            }
            if (!c || !c->is_open()) c = std::make_unique<pqxx::connection>(store.url);
        }
        ~Lease() {
            if (!c || !c->is_open()) return;
            std::lock_guard<std::mutex> hold(store.lock);
            store.idle.push_back(std::move(c));
        }
    };

    int64_t findHash(const std::string& hash) override {
        Lease l(*this);
        pqxx::read_transaction t(*l.c);
        pqxx::result r = t.exec_params("SELECT id FROM rounds WHERE hash = $1", hash);
        return r.empty() ? 0 : r[0][0].as<int64_t>();
    }

    int64_t enqueue(const std::string& name, const std::string& hash,
                    const std::string& bytes) override {
        Lease l(*this);
        pqxx::work t(*l.c);
        pqxx::binarystring blob(bytes.data(), bytes.size());
        pqxx::result r =
            t.exec_params("INSERT INTO jobs (name, hash, replay) VALUES ($1, $2, $3) RETURNING id",
                          name, hash, blob);
        t.commit();
        return r[0][0].as<int64_t>();
    }

    bool work(Verdict (*verify)(const std::string& bytes)) override {
        Lease l(*this);
        pqxx::work t(*l.c);
        pqxx::result r = t.exec("SELECT id, name, hash, replay FROM jobs WHERE state = 0 ORDER BY "
                                "id LIMIT 1 FOR UPDATE SKIP LOCKED");
        if (r.empty()) return false;
        int64_t id = r[0][0].as<int64_t>();
        std::string name = r[0][1].as<std::string>(), hash = r[0][2].as<std::string>();
        std::string bytes = bytesOf(r[0][3]);
        Verdict v = verify(bytes);
        if (v.ok) {
            pqxx::binarystring blob(bytes.data(), bytes.size());
            pqxx::result in = t.exec_params(
                "INSERT INTO rounds (name, score, mode, frames, hash, replay) VALUES ($1, $2, $3, "
                "$4, $5, $6) ON CONFLICT (hash) DO NOTHING RETURNING id",
                name, v.score, v.mode, v.frames, hash, blob);
            if (!in.empty()) {
                t.exec_params("UPDATE jobs SET state = 2, round_id = $1 WHERE id = $2",
                              in[0][0].as<int64_t>(), id);
            } else {
                v.ok = false;
                v.status = 409;
                v.error = "this round is already on the table";
            }
        }
        if (!v.ok)
            t.exec_params("UPDATE jobs SET state = 3, status = $1, error = $2 WHERE id = $3",
                          v.status, v.error, id);
        t.commit();
        return true;
    }

    JobResult result(int64_t jobId) override {
        Lease l(*this);
        pqxx::read_transaction t(*l.c);
        pqxx::result r =
            t.exec_params("SELECT state, round_id, status, error FROM jobs WHERE id = $1", jobId);
        JobResult out;
        if (r.empty()) {
            out.state = JobResult::Refused;
            out.status = 500;
            out.error = "the submission was lost";
        } else if (r[0][0].as<int>() == 2) {
            out.state = JobResult::Accepted;
            out.roundId = r[0][1].as<int64_t>();
        } else if (r[0][0].as<int>() == 3) {
            out.state = JobResult::Refused;
            out.status = r[0][2].as<int>();
            out.error = r[0][3].as<std::string>();
        }
        return out;
    }

    void forget(int64_t jobId) override {
        Lease l(*this);
        pqxx::work t(*l.c);
        t.exec_params("DELETE FROM jobs WHERE id = $1", jobId);
        t.commit();
    }

    std::vector<WorldRound> list(int mode, int limit) override {
        Lease l(*this);
        pqxx::read_transaction t(*l.c);
        pqxx::result r = t.exec_params(
            "SELECT id, name, score, mode, frames, to_char(submitted, 'YYYY-MM-DD HH24:MI:SS') "
            "FROM rounds WHERE mode = $1 ORDER BY score DESC, id LIMIT $2",
            mode, limit);
        std::vector<WorldRound> out;
        for (const pqxx::row& row : r) out.push_back(readRound(row));
        return out;
    }

    bool round(int64_t id, WorldRound& out) override {
        Lease l(*this);
        pqxx::read_transaction t(*l.c);
        pqxx::result r = t.exec_params(
            "SELECT id, name, score, mode, frames, to_char(submitted, 'YYYY-MM-DD HH24:MI:SS') "
            "FROM rounds WHERE id = $1",
            id);
        if (r.empty()) return false;
        out = readRound(r[0]);
        return true;
    }

    bool replay(int64_t id, std::string& bytes) override {
        Lease l(*this);
        pqxx::read_transaction t(*l.c);
        pqxx::result r = t.exec_params("SELECT replay FROM rounds WHERE id = $1", id);
        if (r.empty()) return false;
        bytes = bytesOf(r[0][0]);
        return true;
    }

    int64_t rank(int64_t id) override {
        Lease l(*this);
        pqxx::read_transaction t(*l.c);
        pqxx::result r = t.exec_params(
            "SELECT 1 + (SELECT COUNT(*) FROM rounds o WHERE o.mode = r.mode AND (o.score > "
            "r.score OR (o.score = r.score AND o.id < r.id))) FROM rounds r WHERE r.id = $1",
            id);
        return r.empty() ? 0 : r[0][0].as<int64_t>();
    }
};

} // namespace

std::unique_ptr<WorldStore> OpenPostgresStore(const std::string& url, std::string& error) {
    try {
        auto store = std::make_unique<PostgresStore>();
        store->url = url;
        auto c = std::make_unique<pqxx::connection>(url);
        {
            pqxx::work t(*c);
            t.exec(Schema);
            t.commit();
        }
        store->idle.push_back(std::move(c));
        return store;
    } catch (const std::exception& e) {
        error = std::string("cannot use the database: ") + e.what();
        return nullptr;
    }
}
