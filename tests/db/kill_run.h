#pragma once
// A real writer killed at random moments: a child process appends records with memos under two
// tags, changes and deletes them, packs, zaps and builds a tag again, writing each operation to a
// journal before and after it; the parent kills it after a random delay and then holds the table
// against the journal: every committed record there exactly once with its own memo text, and the
// check clean, or clean after a reindex. Used by the engine's tests (200 kills) and by
// bench_tables --kills for longer runs.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "db/dbf_table.h"
#include "db/index_orders.h"
#include "tools/kvdb/kvdb.h"
#include "util/error_record.h"

namespace kv::test::kills {

inline std::string table_in(const std::string& folder) {
    return folder + "/T.DBF";
}
inline std::string bag_in(const std::string& folder) {
    return folder + "/T.NTX";
}
inline std::string journal_in(const std::string& folder) {
    return folder + "/JOURNAL";
}

// The memo text of a record: it names the record, so a memo pointer that went astray shows.
inline std::string memo_of(long id, const std::string& name) {
    return "memo " + std::to_string(id) + " " + name +
           std::string(static_cast<std::size_t>(id % 173), '.');
}

inline std::string trimmed(const db::Value& value) {
    std::string text =
        std::holds_alternative<std::string>(value) ? std::get<std::string>(value) : "";
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

// A fresh table with its bag: ID, NAME and a memo; tags over the name and over the id of the
// records that are not deleted.
inline bool make_table(const std::string& folder) {
    if (!db::Table::create(table_in(folder),
                           {{"ID", 'N', 10, 0}, {"NAME", 'C', 10, 0}, {"NOTE", 'M', 10, 0}}))
        return false;
    auto table = db::Table::open(table_in(folder));
    if (!table) return false;
    db::IndexOrders& orders = db::index_orders(*table);
    db::BuildConditions live;
    live.for_text = "!DELETED()";
    if (!orders.create_order(bag_in(folder), "BYNAME", "NAME", false)) return false;
    table->set_build_conditions(live);
    return orders.create_order(bag_in(folder), "BYID", "STR(ID,10)", false);
}

// The child's work until it is killed.
[[noreturn]] inline void write_until_killed(const std::string& folder, long first_id,
                                            unsigned seed) {
    util::ScopedErrorHandler fail([](const util::ErrorRecord& record) -> util::ErrorAnswer {
        std::fprintf(stderr, "writer: %s %s\n", record.description.value_or("").c_str(),
                     record.filename.c_str());
        ::_exit(3);
    });
    const int journal = ::open(journal_in(folder).c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
    auto note = [journal](const std::string& line) {
        const std::string text = line + "\n";
        if (::write(journal, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            ::_exit(4);
    };
    auto table = db::Table::open(table_in(folder));
    if (!table) ::_exit(5);
    db::IndexOrders& orders = db::index_orders(*table);
    if (!orders.open_bag(bag_in(folder))) ::_exit(6);
    std::mt19937 random(seed);
    long id = first_id;
    auto some_record = [&]() -> long {
        const long count = table->record_count();
        for (int tries = 0; tries < 8 && count > 0; ++tries) {
            table->go_to(1 + static_cast<long>(random() % static_cast<unsigned>(count)));
            if (!table->deleted() && std::get<double>(table->get("ID")) != 0)
                return table->record_number();
        }
        return 0;
    };
    auto a_name = [&] {
        std::string name = "K";
        for (int i = 0; i < 6; ++i) name += static_cast<char>('A' + random() % 26);
        return name;
    };
    for (;;) {
        const unsigned dice = random() % 100;
        if (dice < 55) {
            const std::string name = a_name();
            ++id;
            note("a " + std::to_string(id) + " " + name);
            if (!table->append()) ::_exit(7);
            table->put("ID", static_cast<double>(id));
            table->put("NAME", name);
            table->put("NOTE", memo_of(id, name));
            if (!table->commit()) ::_exit(8);
            note("A " + std::to_string(id));
        } else if (dice < 75) {
            if (some_record() == 0) continue;
            const long which = static_cast<long>(std::get<double>(table->get("ID")));
            const std::string name = a_name();
            note("u " + std::to_string(which) + " " + name);
            table->put("NAME", name);
            table->put("NOTE", memo_of(which, name));
            if (!table->commit()) ::_exit(8);
            note("U " + std::to_string(which));
        } else if (dice < 88) {
            if (some_record() == 0) continue;
            const long which = static_cast<long>(std::get<double>(table->get("ID")));
            note("d " + std::to_string(which));
            table->mark_deleted();
            if (!table->commit()) ::_exit(8);
            note("D " + std::to_string(which));
        } else if (dice < 94) {
            note("p");
            if (!table->pack()) ::_exit(9);
            note("P");
        } else if (dice < 96) {
            note("z");
            if (!table->zap()) ::_exit(10);
            note("Z");
        } else {
            note("i");
            if (!orders.create_order(bag_in(folder), "BYNAME", "NAME", false)) ::_exit(11);
            note("I");
        }
    }
}

// What the journal says: the committed records (id and name) and the operation in flight.
struct Journal {
    std::map<long, std::string> live;
    char in_flight = 0;  // a u d p z i, or 0
    long id = 0;
    std::string name;

    void read(const std::string& text) {
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            std::istringstream words(line);
            char op = 0;
            long which = 0;
            std::string what;
            words >> op >> which >> what;
            if (op >= 'a' && op <= 'z') {
                in_flight = op;
                id = which;
                name = what;
                continue;
            }
            if (op == 'A' || op == 'U') live[which] = name;
            if (op == 'D') live.erase(which);
            if (op == 'Z') live.clear();
            in_flight = 0;
        }
    }
};

// The table after a kill against the journal; the faults found. The journal is then emptied and
// the state found becomes the committed one.
inline std::vector<std::string> verify(const std::string& folder, Journal& journal) {
    std::vector<std::string> faults;
    {
        std::ifstream in(journal_in(folder));
        std::ostringstream text;
        text << in.rdbuf();
        journal.read(text.str());
    }
    std::filesystem::remove(journal_in(folder));
    std::map<long, std::string> found;
    {
        util::ScopedErrorHandler quiet([&](const util::ErrorRecord&) -> util::ErrorAnswer {
            return std::nullopt;  // a notice of tags out of step: the check below says it too
        });
        auto table = db::Table::open(table_in(folder));
        if (!table) return {"the table cannot be opened after a kill"};
        for (long r = 1; r <= table->record_count(); ++r) {
            table->go_to(r);
            if (table->deleted()) continue;
            const db::Value number = table->get("ID");
            const long id = std::holds_alternative<double>(number)
                                ? static_cast<long>(std::get<double>(number))
                                : 0;
            if (id == 0) continue;  // a blank record of an append that died: no committed record
            const std::string name = trimmed(table->get("NAME"));
            if (!found.emplace(id, name).second)
                faults.push_back("record " + std::to_string(id) + " is there twice");
            const db::Value note = table->get("NOTE");
            if (!std::holds_alternative<std::string>(note) ||
                std::get<std::string>(note) != memo_of(id, name))
                faults.push_back("record " + std::to_string(id) + " has another record's memo");
        }
    }
    const char flight = journal.in_flight;
    const bool zap_done = flight == 'z' && found.empty();
    for (const auto& [id, name] : journal.live) {
        const auto it = found.find(id);
        if (it == found.end()) {
            if (!zap_done && !(flight == 'd' && id == journal.id))
                faults.push_back("committed record " + std::to_string(id) + " is missing");
            continue;
        }
        if (it->second != name &&
            !(flight == 'u' && id == journal.id && it->second == journal.name))
            faults.push_back("record " + std::to_string(id) + " has the name " + it->second +
                             " instead of " + name);
    }
    for (const auto& [id, name] : found) {
        if (!journal.live.count(id) && !(flight == 'a' && id == journal.id))
            faults.push_back("record " + std::to_string(id) + " was never committed");
    }
    journal.live = found;
    journal.in_flight = 0;
    // The tags: clean, or clean after a reindex.
    std::ostringstream out, err;
    if (kvdb::run({"check", table_in(folder)}, out, err) != 0) {
        std::ostringstream out2, err2;
        kvdb::run({"reindex", table_in(folder)}, out2, err2);
        std::ostringstream out3, err3;
        if (kvdb::run({"check", table_in(folder)}, out3, err3) != 0)
            faults.push_back("still faulty after a reindex: " + err3.str() +
                             " (before: " + err.str() + ")");
    }
    return faults;
}

// Kills a writer the given number of times; the faults found, each with its kill's number.
inline std::vector<std::string> run_kills(const std::string& folder, int kills, unsigned seed,
                                          std::chrono::milliseconds longest) {
    std::vector<std::string> faults;
    if (!make_table(folder)) return {"the table cannot be made"};
    Journal journal;
    std::mt19937 random(seed);
    for (int kill = 1; kill <= kills && faults.size() < 20; ++kill) {
        const pid_t writer = ::fork();
        if (writer == 0) write_until_killed(folder, 100'000L * kill, random());
        const auto delay = std::chrono::microseconds(
            random() % static_cast<unsigned>(std::chrono::microseconds(longest).count() + 1));
        std::this_thread::sleep_for(delay);
        ::kill(writer, SIGKILL);
        int status = 0;
        ::waitpid(writer, &status, 0);
        if (!WIFSIGNALED(status))
            faults.push_back("kill " + std::to_string(kill) + ": the writer stopped by itself (" +
                             std::to_string(WEXITSTATUS(status)) + ")");
        for (const std::string& fault : verify(folder, journal))
            faults.push_back("kill " + std::to_string(kill) + ": " + fault);
    }
    return faults;
}

}  // namespace kv::test::kills
