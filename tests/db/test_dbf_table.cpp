#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

#include "db/db_errors.h"
#include "db/disk_io.h"
#include "tests/db/db_test_support.h"
#include "util/dates.h"

namespace kv::test {
namespace {

using db::Value;

struct Row {
    std::string name;
    double qty;
    util::Date born;
    bool ok;
    std::string notes;
};

const std::vector<Row> kRows = {
    {"ALFA", 1.5, util::Date::of(2024, 3, 1), true, "long text"},
    {"citt\xE0 \x80", -12.25, util::Date(), false, ""},
    {"", 0, util::Date::of(1999, 12, 31), true, std::string(300, 'x') + "\x1A\r\n\0end"},
};

class DbfTableTest : public ::testing::Test {
  protected:
    void SetUp() override { name_ = (dir_.path() / "T.DBF").string(); }
    void fill() {
        ASSERT_TRUE(db::Table::create(name_, table_fields()));
        auto table = open_table(name_);
        ASSERT_TRUE(table);
        for (const Row& row : kRows) {
            ASSERT_TRUE(table->append());
            EXPECT_TRUE(table->put("NAME", row.name));
            EXPECT_TRUE(table->put("QTY", row.qty));
            EXPECT_TRUE(table->put("BORN", row.born));
            EXPECT_TRUE(table->put("OK", row.ok));
            EXPECT_TRUE(table->put("NOTES", row.notes));
        }
        table->close();
    }
    TempDir dir_;
    std::string name_;
    SettingsGuard settings_;
};

TEST_F(DbfTableTest, ValuesComeBackAsWrittenAndTheFileIsLaidOutRight) {
    fill();
    auto table = open_table(name_, true, true);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->record_count(), 3);
    long recno = 0;
    for (table->go_top(); !table->eof(); table->skip()) {
        const Row& row = kRows[static_cast<std::size_t>(recno++)];
        std::string padded = row.name;
        padded.resize(20, ' ');
        EXPECT_EQ(table->get("NAME"), Value(padded));
        EXPECT_EQ(table->get("QTY"), Value(row.qty));
        EXPECT_EQ(table->get("BORN"), Value(row.born));
        EXPECT_EQ(table->get("OK"), Value(row.ok));
        EXPECT_EQ(table->get("NOTES"), Value(row.notes));
        EXPECT_EQ(table->get("RATE"), Value(0.0));
    }
    EXPECT_EQ(recno, 3);
    const std::string bytes = dir_.read("T.DBF");
    const db::DbfHeader& header = table->header();
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xF5);
    EXPECT_EQ(header.record_length, 1 + 20 + 8 + 8 + 1 + 10 + 10);
    EXPECT_EQ(bytes.size(), header.header_length + 3u * header.record_length + 1);
    EXPECT_EQ(bytes.back(), '\x1A');
    EXPECT_EQ(bytes[29], '\x03');
    // Stored forms: numbers right-aligned with their decimals, dates as digits, blanks when empty.
    const std::string second =
        bytes.substr(header.header_length + header.record_length, header.record_length);
    EXPECT_EQ(second.substr(21, 8), "  -12.25");
    EXPECT_EQ(second.substr(29, 8), "        ");
    EXPECT_EQ(second.substr(37, 1), "F");
    EXPECT_EQ(second.substr(38, 10), "          ") << "no memo block for the empty text";
    const std::string memo = dir_.read("T.DBT");
    EXPECT_EQ(memo.substr(0, 8), std::string("\0\0\0\x0E\0\0\0\x40", 8))
        << "blocks of 64, 1 + 5 used from 8";
    EXPECT_EQ(bytes.substr(header.header_length + 38, 10), "         8");
    EXPECT_EQ(memo.substr(512, 17), std::string("\0\0\0\x01\0\0\0\x09long text", 17));
}

TEST_F(DbfTableTest, NavigationHidesDeletedRecordsUnderTheSetting) {
    fill();
    auto table = open_table(name_);
    table->go_to(2);
    table->mark_deleted();
    table->commit();
    struct Case {
        bool hide;
        std::vector<long> forward;
        long bottom;
    };
    for (const Case& c : {Case{true, {1, 3}, 3}, Case{false, {1, 2, 3}, 3}}) {
        util::settings().hide_deleted = c.hide;
        std::vector<long> seen;
        for (table->go_top(); !table->eof(); table->skip()) seen.push_back(table->record_number());
        EXPECT_EQ(seen, c.forward);
        EXPECT_EQ(table->record_number(), 4) << "end of file is one past the last record";
        table->go_bottom();
        EXPECT_EQ(table->record_number(), c.bottom);
        table->skip(-10);
        EXPECT_TRUE(table->bof());
        EXPECT_EQ(table->record_number(), 1);
    }
    table->go_to(2);
    EXPECT_TRUE(table->deleted()) << "a direct move reaches a hidden record";
    table->mark_deleted(false);
    table->go_to(9);
    EXPECT_TRUE(table->eof());
    EXPECT_EQ(table->get("NAME"), Value(std::string(20, ' ')));
}

TEST_F(DbfTableTest, SharedOpensSeeEachOthersAppendsAndLocksExcludeEachOther) {
    fill();
    auto a = open_table(name_, true);
    auto b = open_table(name_, true);
    ASSERT_TRUE(a && b);
    ASSERT_TRUE(a->append());
    a->put("NAME", std::string("FROM A"));
    ASSERT_TRUE(b->append());
    EXPECT_EQ(b->record_number(), 5) << "b saw a's record before it appended";
    EXPECT_FALSE(b->lock_record(4)) << "a holds its new record";
    a->unlock();
    EXPECT_TRUE(b->lock_record(4));
    b->go_to(4);
    EXPECT_EQ(b->get("NAME"), Value(std::string("FROM A") + std::string(14, ' ')));
    EXPECT_FALSE(a->lock_file()) << "b holds record 4";
    b->unlock();
    EXPECT_TRUE(a->lock_file());
    EXPECT_FALSE(b->lock_record(1));
    {
        RecordedErrors errors;
        EXPECT_FALSE(b->append()) << "a file lock keeps appends out";
        ASSERT_EQ(errors.records.size(), 1u);
        EXPECT_EQ(errors.records[0].gencode, 40);
        EXPECT_TRUE(errors.records[0].candefault);
        b->go_to(1);
        EXPECT_FALSE(b->put("NAME", std::string("X")));
        EXPECT_EQ(errors.records.back().gencode, 38)
            << "a shared record changes only under its lock";
    }
    a->unlock();
    EXPECT_EQ(b->record_count(), 5);
    const std::string bytes = dir_.read("T.DBF");
    EXPECT_EQ(bytes.size(), a->header().header_length + 5u * a->header().record_length + 1);
}

TEST_F(DbfTableTest, ExclusiveAndSharedOpensRefuseEachOther) {
    fill();
    for (bool first_shared : {true, false}) {
        auto first = open_table(name_, first_shared);
        ASSERT_TRUE(first);
        RecordedErrors errors;
        EXPECT_FALSE(open_table(name_, !first_shared));
        ASSERT_EQ(errors.records.size(), 1u);
        EXPECT_EQ(errors.records[0].gencode, 21);
        EXPECT_EQ(errors.records[0].oscode, 32);
        EXPECT_TRUE(errors.records[0].candefault);
    }
    RecordedErrors errors;
    EXPECT_FALSE(open_table((dir_.path() / "NONE").string()));
    ASSERT_EQ(errors.records.size(), 1u);
    EXPECT_EQ(errors.records[0].oscode, 2);
    EXPECT_FALSE(errors.records[0].candefault);
}

TEST_F(DbfTableTest, LocksLieAtTheSchemesOffsets) {
    fill();
    auto table = open_table(name_, true);
    const int probe = ::open(name_.c_str(), O_RDWR);
    auto held = [&](std::uint64_t offset, std::uint64_t length) {
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = static_cast<off_t>(offset);
        lock.l_len = static_cast<off_t>(length);
        ::fcntl(probe, F_OFD_GETLK, &lock);
        return lock.l_type != F_UNLCK;
    };
    ASSERT_TRUE(table->lock_record(3));
    EXPECT_TRUE(held(1'000'000'003, 1));
    EXPECT_FALSE(held(1'000'000'002, 1));
    ASSERT_TRUE(table->lock_file());
    EXPECT_TRUE(held(1'000'000'000, 1));
    EXPECT_TRUE(held(1'999'999'999, 1));
    EXPECT_FALSE(held(2'000'000'000, 1));
    table->unlock();
    EXPECT_FALSE(held(1'000'000'000, 1'000'000'000));
    ::close(probe);
}

TEST_F(DbfTableTest, PackDropsDeletedRecordsAndUnusedMemoBlocksAndZapEmpties) {
    fill();
    auto table = open_table(name_);
    table->go_to(1);
    table->put("NOTES", std::string("replaced"));  // the old blocks become unused
    table->go_to(1);
    table->mark_deleted();
    table->commit();
    const auto memo_before = dir_.read("T.DBT").size();
    ASSERT_TRUE(table->pack());
    EXPECT_EQ(table->record_count(), 2);
    table->go_top();
    EXPECT_EQ(std::get<std::string>(table->get("NAME")).substr(0, 5), "citt\xE0");
    table->skip();
    EXPECT_EQ(table->get("NOTES"), Value(kRows[2].notes));
    EXPECT_LT(dir_.read("T.DBT").size(), memo_before);
    ASSERT_TRUE(table->zap());
    EXPECT_EQ(table->record_count(), 0);
    EXPECT_TRUE(table->eof() && table->bof());
    table->close();
    EXPECT_EQ(dir_.read("T.DBF").size(), table->header().header_length + 1u);
}

TEST_F(DbfTableTest, BadValuesAndBadFieldListsAreRefused) {
    RecordedErrors errors;
    for (const auto& fields :
         std::vector<std::vector<db::FieldSpec>>{{},
                                                 {{"1BAD", 'C', 5, 0}},
                                                 {{"A", 'C', 0, 0}},
                                                 {{"A", 'N', 21, 0}},
                                                 {{"A", 'X', 5, 0}},
                                                 {{"A", 'C', 5, 0}, {"a", 'N', 5, 0}},
                                                 {{"TOOLONGNAME", 'C', 5, 0}}}) {
        EXPECT_FALSE(db::Table::create(name_, fields));
    }
    EXPECT_EQ(errors.records.size(), 7u);
    fill();
    auto table = open_table(name_);
    table->go_top();
    errors.records.clear();
    EXPECT_FALSE(table->put("QTY", 123456.0)) << "does not fit 8 characters with 2 decimals";
    EXPECT_FALSE(table->put("QTY", std::string("1")));
    EXPECT_FALSE(table->put("NOPE", 1.0));
    EXPECT_EQ(errors.records.size(), 3u);
    EXPECT_EQ(table->get("QTY"), Value(1.5)) << "a refused value changes nothing";
}

// Every damage is a corruption error record (32 / 1012), never a crash or a wrong value.
TEST_F(DbfTableTest, DamagedFilesRaiseTheCorruptionRecord) {
    fill();
    const std::string good = dir_.read("T.DBF");
    const std::string good_memo = dir_.read("T.DBT");
    auto with = [](std::string bytes, std::size_t at, const std::string& patch) {
        bytes.replace(at, patch.size(), patch);
        return bytes;
    };
    struct Damage {
        const char* what;
        std::string table;
        std::string memo;
        bool on_open;
    };
    const std::size_t header =
        static_cast<std::uint8_t>(good[8]) | static_cast<std::uint8_t>(good[9]) << 8;
    const std::size_t notes = header + 1 + 20 + 8 + 8 + 1;
    const std::vector<Damage> damages = {
        {"truncated table", good.substr(0, good.size() - 30), good_memo, true},
        {"shorter than a header", good.substr(0, 20), good_memo, true},
        {"absurd header length", with(good, 8, std::string("\xFF\xFF", 2)), good_memo, true},
        {"record count past the end", with(good, 4, std::string("\x10\0\0\0", 4)), good_memo, true},
        {"record length disagrees", with(good, 10, std::string("\x05\0", 2)), good_memo, true},
        {"memo pointer past the end", with(good, notes, "    999999"), good_memo, false},
        {"memo pointer into the header", with(good, notes, "         1"), good_memo, false},
        {"memo length past the end", good, with(good_memo, 512 + 4, std::string("\x7F\0\0\0", 4)),
         false},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        dir_.write("T.DBF", damage.table);
        dir_.write("T.DBT", damage.memo);
        RecordedErrors errors;
        auto table = open_table(name_);
        if (!damage.on_open) {
            ASSERT_TRUE(table);
            table->go_top();
            EXPECT_EQ(table->get("NOTES"), Value(db::Nil{}));
        }
        EXPECT_EQ(table == nullptr, damage.on_open);
        ASSERT_FALSE(errors.records.empty());
        EXPECT_EQ(errors.records[0].gencode, 32);
        EXPECT_EQ(errors.records[0].subcode, 1012);
    }
}

// A disk that fills during an append leaves the table as it was.
TEST_F(DbfTableTest, AFailedAppendLeavesNoHalfRecord) {
    fill();
    const std::string before = dir_.read("T.DBF");
    auto table = open_table(name_, true);
    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = saved;
    limit.rlim_cur = before.size();
    ::setrlimit(RLIMIT_FSIZE, &limit);
    RecordedErrors errors;
    const bool appended = table->append();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_FALSE(appended);
    ASSERT_EQ(errors.records.size(), 1u);
    EXPECT_EQ(errors.records[0].subcode, 2016);
    EXPECT_EQ(table->record_count(), 3);
    EXPECT_EQ(dir_.read("T.DBF"), before);
}

}  // namespace
}  // namespace kv::test
