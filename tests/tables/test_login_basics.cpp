// Scrambling, the user settings file read back by a reader of the memory-variable format written
// here, and the login folder held by its exclusively open USER file.
#include <bit>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "tables/login.h"
#include "tables/login_folder.h"
#include "tables/memvars.h"
#include "tests/support/temp_dir.h"
#include "tests/tables/tables_fixture.h"
#include "util/startup.h"

namespace kv::db {
namespace {

namespace fs = std::filesystem;

TEST(Crypt, ScramblesTextsAndNumbersAndLeavesTheRest) {
    const struct {
        Value in;
        Value out;
    } cases[] = {
        {std::string("AB"), std::string("\xc1\xc2")},
        {std::string("\xc1\xc2 "), std::string("AB\xa0")},
        {std::string(), std::string()},
        {std::string("   "), std::string("   ")},  // empty values come back unchanged
        {std::string(" A "), std::string("\xa0\xc1\xa0")},
        {123.0, 876.0},
        {5.0, 4.0},
        {0.0, 0.0},
        {99.0, 0.0},
        {1234567890.0, 8765432109.0},
        {true, true},
        {util::Date::of(2026, 12, 6), util::Date::of(2026, 12, 6)},
        {Nil{}, Nil{}},
    };
    for (const auto& c : cases) EXPECT_EQ(CRYPT(c.in), c.out) << value_type(c.in);
    const std::string all = [] {
        std::string s;
        for (int b = 0; b < 256; ++b) s += static_cast<char>(b);
        return s;
    }();
    EXPECT_EQ(CRYPT(CRYPT(all)), Value(all));
}

// A reader of the memory-variable format as published: 32-byte descriptors, values after them,
// the end at 0x1A or at the end of the file.
struct StoredVariable {
    char type = 0;
    int length = 0;
    int decimals = 0;
    std::string data;
};

std::map<std::string, StoredVariable> read_mem(const std::string& bytes, bool* ended_by_eof_mark) {
    std::map<std::string, StoredVariable> found;
    std::size_t at = 0;
    *ended_by_eof_mark = false;
    while (at < bytes.size()) {
        if (bytes[at] == '\x1a') {
            *ended_by_eof_mark = at + 1 == bytes.size();
            break;
        }
        if (at + 32 > bytes.size()) throw std::runtime_error("short descriptor");
        const std::string name(bytes.c_str() + at);
        StoredVariable v;
        const auto type_byte = static_cast<unsigned char>(bytes[at + 11]);
        if ((type_byte & 0x80) == 0) throw std::runtime_error("type without its top bit");
        v.type = static_cast<char>(type_byte & 0x7f);
        const auto b16 = static_cast<unsigned char>(bytes[at + 16]);
        const auto b17 = static_cast<unsigned char>(bytes[at + 17]);
        std::size_t size = 8;
        if (v.type == 'C' || v.type == 'L') size = b16 + 256u * b17;
        v.length = b16;
        v.decimals = b17;
        at += 32;
        if (at + size > bytes.size()) throw std::runtime_error("short value");
        v.data = bytes.substr(at, size);
        at += size;
        found[name] = v;
    }
    return found;
}

double as_double(const std::string& data) {
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = bits << 8 | static_cast<unsigned char>(data[i]);
    return std::bit_cast<double>(bits);
}

TEST(UserSettings, EveryUsrVariableReadsBackThroughTheFormat) {
    test::TempDir dir;
    ScopedMemoryVariables keep;
    auto& vars = memory_variables();
    const std::string long_text(300, 'x');
    vars.set("usr_name", std::string("ABC"));
    vars.set("USR_EMPTY", std::string());
    vars.set("USR_LONG", long_text);
    vars.set("USR_QTY", 12.5);
    vars.set("USR_COUNT", 7.0);
    vars.set("USR_START", util::Date::of(2000, 1, 1));
    vars.set("USR_NODATE", util::Date());
    vars.set("USR_OK", true);
    vars.set("USR_NO", false);
    vars.set("USR_PRINTER_NAME", std::string("cut to ten"));
    vars.set("OTHER", std::string("not saved"));
    vars.set("USRX", std::string("not saved either"));

    const std::string file = (dir.path() / "ROSSI.USR").string();
    ASSERT_TRUE(write_user_settings(file));
    bool eof_mark = false;
    const auto mem = read_mem(dir.read("ROSSI.USR"), &eof_mark);
    EXPECT_TRUE(eof_mark);

    std::vector<std::string> names;
    for (const auto& [name, v] : mem) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"USR_COUNT", "USR_EMPTY", "USR_LONG", "USR_NAME",
                                               "USR_NO", "USR_NODATE", "USR_OK", "USR_PRINTE",
                                               "USR_QTY", "USR_START"}));
    EXPECT_EQ(mem.at("USR_NAME").type, 'C');
    EXPECT_EQ(mem.at("USR_NAME").data, std::string("ABC", 4));
    EXPECT_EQ(mem.at("USR_EMPTY").data, std::string(1, '\0'));
    EXPECT_EQ(mem.at("USR_LONG").data, long_text + '\0');
    EXPECT_EQ(mem.at("USR_QTY").type, 'N');
    EXPECT_EQ(as_double(mem.at("USR_QTY").data), 12.5);
    EXPECT_EQ(mem.at("USR_QTY").decimals, 1);
    EXPECT_EQ(as_double(mem.at("USR_COUNT").data), 7.0);
    EXPECT_EQ(mem.at("USR_COUNT").decimals, 0);
    EXPECT_EQ(mem.at("USR_START").type, 'D');
    EXPECT_EQ(as_double(mem.at("USR_START").data), 2451545.0);
    EXPECT_EQ(as_double(mem.at("USR_NODATE").data), 0.0);
    EXPECT_EQ(mem.at("USR_OK").type, 'L');
    EXPECT_EQ(mem.at("USR_OK").data, "\x01");
    EXPECT_EQ(mem.at("USR_NO").data, std::string(1, '\0'));
    EXPECT_EQ(mem.at("USR_PRINTE").data, std::string("cut to ten", 11));
}

TEST(UserSettings, ValuesWithoutAStoredFormAreRefusedAndNothingIsWritten) {
    test::TempDir dir;
    ScopedMemoryVariables keep;
    const std::string file = (dir.path() / "X.USR").string();
    memory_variables().set("USR_NIL", Nil{});
    EXPECT_FALSE(write_user_settings(file));
    memory_variables().set("USR_NIL", std::string(65535, 'a'));
    EXPECT_FALSE(write_user_settings(file));
    EXPECT_FALSE(fs::exists(file));
    memory_variables().set("USR_NIL", std::string(65534, 'a'));
    EXPECT_TRUE(write_user_settings(file));
}

TEST(LoginFolder, IsHeldByItsUserFileAndBecomesTheTemporaryFolder) {
    test::TempDir temp;
    const std::string folder = (temp.path() /
                                "\x7f"
                                "2026120612345")
                                   .string();
    ASSERT_TRUE(make_login_folder(folder));
    const std::string user_file = folder + "/USER";
    EXPECT_TRUE(fs::is_regular_file(user_file));
    EXPECT_EQ(SETTEMP(), folder + "/");
    EXPECT_EQ(util::ACS_TEMP, folder + "/");
    EXPECT_GE(SETHUSER(), 0);
    EXPECT_FALSE(test::another_process_can_open(user_file));
    SETHUSER(platform::File{});
    EXPECT_TRUE(test::another_process_can_open(user_file));

    EXPECT_FALSE(make_login_folder(folder)) << "an existing folder is not taken over";
    EXPECT_FALSE(make_login_folder((temp.path() / "missing" / "X").string()));
    util::library_state() = util::LibraryState{};
    util::ACS_TEMP.clear();
}

TEST(LoginValues, SettersKeepWhatTheyAreGiven) {
    EXPECT_EQ(SETUSER(), std::string(8, ' '));
    EXPECT_EQ(SETUSER("ROSSI"), "ROSSI");
    EXPECT_EQ(SETTEMP("/tmp/x/"), "/tmp/x/");
    EXPECT_EQ(SETPASSWORD(), "");
    EXPECT_EQ(SETPASSWORD("segreto", std::vector<std::string>{"CLIENTI.DBF"}), "segreto");
    EXPECT_EQ(util::library_state().protected_tables, std::vector<std::string>{"CLIENTI.DBF"});
    EXPECT_EQ(SETPASSWORD("altro"), "altro");
    EXPECT_TRUE(util::library_state().protected_tables.empty()) << "no list: every table";
    EXPECT_EQ(SETPASSWORD(std::nullopt, std::vector<std::string>{"X"}), "altro");
    util::library_state() = util::LibraryState{};
}

}  // namespace
}  // namespace kv::db
