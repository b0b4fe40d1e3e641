// The device stays inside the served folder, whatever names it sends.
#include <set>

#include <gtest/gtest.h>

#include "core/catalogue_lines.h"
#include "core/handlers.h"
#include "core/log.h"
#include "core/served_folder.h"
#include "core/stored_file.h"
#include "tests/core/handler_fixture.h"
#include "util/text.h"

namespace {

using kv::test::save_args;
namespace core = kv::core;
namespace fsys = std::filesystem;

const std::string kOk(1, '\0');
const std::string kRefused = "\x0f";
const std::string kFolderLoaded("\0\x01\0\0\x01\0\0\0\0", 9);

// The handlers serve a folder inside a bigger one, which holds a stored file of its own.
class ServedFolder : public kv::test::HandlerFixture {
  protected:
    void SetUp() override {
        HandlerFixture::SetUp();
        dir.write("OUT", core::encode_header({}));
        fsys::create_directories(dir.path() / "SERVED" / "SUB");
        ASSERT_TRUE(core::set_served_root((dir.path() / "SERVED").string()));
        outside_before = entries_outside();
    }
    // Everything in the bigger folder that is not in the served one.
    std::set<std::string> entries_outside() const {
        std::set<std::string> names;
        for (const auto& e : fsys::directory_iterator(dir.path()))
            names.insert(e.path().filename().string());
        return names;
    }
    // Runs one command and returns the PC's whole answer; acknowledgements left over are dropped.
    std::string run(char letter, const std::string& args, std::size_t at_least = 1) {
        device_sends(args);
        struct Drop {
            ~Drop() { core::receive_buffer().clear(); }
        } drop;
        switch (letter) {
            case 'S':
                core::SAVE(port);
                break;
            case 'L':
                core::LOAD(port);
                break;
            case 'E':
                core::ERASE_(port);
                break;
            default:
                core::CAT(port);
                return whole_catalogue();
        }
        return pc_sent(at_least);
    }
    // A catalogue ends with the count line and a 0x00.
    std::string whole_catalogue() {
        std::string out = pc_sent(1 + 8 * core::kCatalogueWidth + 1);
        for (int i = 0; i < 10 && (out.size() < 2 || out.back() != '\0' ||
                                   (out.size() - 2) % core::kCatalogueWidth);
             ++i)
            out += pc_sent(1);
        return out;
    }
    // The path line of a catalogue of the pattern.
    std::string catalogue_path_line(const std::string& pattern) {
        const std::string out = run('C', pattern + "\r" + std::string(40, '\x06'));
        return out.substr(1 + 3 * core::kCatalogueWidth, core::kCatalogueWidth);
    }
    std::string served() const { return (dir.path() / "SERVED").string(); }

    std::set<std::string> outside_before;
};

TEST_F(ServedFolder, NamesThatClimbOrStartAtTheTopStayInside) {
    const std::string out_abs = (dir.path() / "OUT").string();
    struct Case {
        char letter;
        std::string args;
        std::string answer;
    } cases[] = {
        {'S', save_args(0, 0, 1, 0, "../X") + "d", kOk},              // lands at the served root
        {'S', save_args(0, 0, 1, 0, "\\..\\SUB\\Y") + "d", kOk},      // lands in SUB
        {'S', save_args(0, 0, 1, 0, out_abs + "2") + "d", kRefused},  // no such folder
        {'E', "../OUT\r", kRefused},
        {'E', out_abs + "\r", kRefused},
        {'E', "/etc/passwd\r", kRefused},
        {'L', "../OUT\r", kRefused},
        {'L', "../X\r", kOk},  // the file saved above, found at the served root
    };
    for (const auto& c : cases) {
        core::ScopedLogSink quiet([](const std::string&) {});
        EXPECT_EQ(run(c.letter, c.args).substr(0, 1), c.answer) << c.letter << c.args;
    }
    EXPECT_TRUE(fsys::exists(served() + "/X"));
    EXPECT_TRUE(fsys::exists(served() + "/SUB/Y"));
    EXPECT_EQ(entries_outside(), outside_before);
    EXPECT_TRUE(fsys::exists(dir.path() / "OUT"));
}

TEST_F(ServedFolder, TheServedRootIsTheTopOfTheDrive) {
    EXPECT_EQ(run('L', "SUB/\r", 9), kFolderLoaded);
    EXPECT_EQ(catalogue_path_line(""), core::folder_path_line("/SUB"));
    EXPECT_EQ(run('L', "../../../\r", 9), kFolderLoaded);
    EXPECT_EQ(kv::platform::current_folder(), served());
    EXPECT_EQ(catalogue_path_line(""), core::folder_path_line("/"));
    EXPECT_EQ(run('L', "//\r", 9), kFolderLoaded);
    EXPECT_EQ(catalogue_path_line("/etc/"), core::folder_path_line("/etc"));
    EXPECT_EQ(catalogue_path_line("sub/"), core::folder_path_line("/sub"));

    // A listing of the root has no "." or "..", below it they come as on any folder.
    const std::string root_listing = run('C', "\r" + std::string(40, '\x06'));
    EXPECT_EQ(root_listing.find(core::folder_line("..")), std::string::npos);
    EXPECT_NE(root_listing.find(core::folder_line("SUB")), std::string::npos);
    EXPECT_NE(run('C', "SUB/\r" + std::string(40, '\x06')).find(core::folder_line("..")),
              std::string::npos);
}

TEST_F(ServedFolder, LinksThatTheUserPlacedInsideAreFollowed) {
    fsys::create_directory_symlink(dir.path(), served() + "/UP");
    EXPECT_EQ(run('L', "UP/\r", 9), kFolderLoaded);
    EXPECT_EQ(catalogue_path_line(""), core::folder_path_line("/UP"));
    EXPECT_EQ(run('L', "OUT\r", 8).substr(0, 1), kOk);
    EXPECT_EQ(run('L', "../\r", 9), kFolderLoaded);
    EXPECT_EQ(kv::platform::current_folder(), served());
}

// As on the device's own file system, the spaces and dots that end a part of a name are dropped:
// "P " and "P." are the file P, and a catalogue never shows two equal lines.
TEST_F(ServedFolder, SpacesAndDotsThatEndANamePartAreDropped) {
    const struct {
        std::string name;
        std::string on_disk;
    } cases[] = {{"P ", "P"},        {"P.", "P"},    {"P . ", "P"}, {"SUB /Q. ", "SUB/Q"},
                 {"SUB. /", "SUB/"}, {"A B", "A B"}, {" A", " A"},  {"A.B ", "A.B"},
                 {"...", "..."},     {"*.", "*."},   {"/X ", "X"},  {"..\\ R", " R"}};
    for (const auto& c : cases)
        EXPECT_EQ(core::served_path(c.name), served() + "/" + c.on_disk) << '"' << c.name << '"';

    core::ScopedLogSink quiet([](const std::string&) {});
    EXPECT_EQ(run('S', save_args(0, 0, 1, 0, "P ") + "d"), kOk);
    for (const std::string other : {"P", "P.", "p  ", "P. ."})
        EXPECT_EQ(run('S', save_args(0, 0, 1, 0, other) + "d"), kRefused) << '"' << other << '"';
    EXPECT_EQ(run('L', "P .\r", 8).substr(0, 1), kOk);
    EXPECT_TRUE(fsys::exists(served() + "/P"));
    const std::string listing = run('C', "\r" + std::string(40, '\x06'));
    core::StoredHeader header;
    header.length = 1;
    const std::string line = core::stored_file_line("P", header);
    EXPECT_NE(listing.find(line), std::string::npos);
    EXPECT_EQ(listing.find(line), listing.rfind(line));
}

// A Save makes only names that the device can name again, list and erase: no part that the
// dropping leaves empty or a dot name, none holding a wildcard, none hidden by a leading dot.
// A Load names one file, never a pattern; a pattern still drops its ending spaces.
TEST_F(ServedFolder, NamesTheDeviceCouldNotSeeAgainAreRefused) {
    EXPECT_EQ(core::served_path("Q* "), served() + "/Q*");
    EXPECT_EQ(core::served_path("SUB/*. "), served() + "/SUB/*.");
    core::ScopedLogSink quiet([](const std::string&) {});
    for (const std::string name : {" ", "...", ". .", "SUB/ ", "SUB/...", "SUB/.. .", " /X", "Q1* ",
                                   "Q2?", "Q3*.", "SUB/*/X", ".HIDDEN", "SUB/.H", ".H/X", ". X"})
        EXPECT_EQ(run('S', save_args(0, 0, 1, 0, name) + "d"), kRefused) << '"' << name << '"';
    for (const std::string folder : {" /", "SUB/.../", ".F/"})
        EXPECT_EQ(run('S', save_args(0, 0, 1, 0, folder) + "d"), kRefused) << '"' << folder << '"';
    EXPECT_EQ(std::distance(fsys::recursive_directory_iterator(served()), {}), 1);

    dir.write("SERVED/Q1* ", core::encode_header({}));
    dir.write("SERVED/Q1", core::encode_header({}));
    EXPECT_EQ(run('L', "Q1* \r"), kRefused);
    EXPECT_EQ(run('L', "Q?\r"), kRefused);
    EXPECT_EQ(run('L', "Q1 \r", 8).substr(0, 1), kOk);
    EXPECT_EQ(run('E', "Q1* \r"), kOk);
    EXPECT_FALSE(fsys::exists(served() + "/Q1"));
    EXPECT_FALSE(fsys::exists(served() + "/Q1* "));
}

TEST_F(ServedFolder, NamesHoldingANulAreRefused) {
    dir.write("SERVED/A", core::encode_header({}));
    const std::string nul_name("A\0B", 3);
    EXPECT_EQ(run('S', save_args(0, 0, 0, 0, nul_name)), kRefused);
    EXPECT_EQ(run('L', nul_name + "\r"), kRefused);
    EXPECT_EQ(run('E', nul_name + "\r"), kRefused);
    EXPECT_EQ(run('E', std::string("*\0", 2) + "\r"), kRefused);
    EXPECT_EQ(run('S', save_args(0, 0, 1, 0, std::string("D\0/", 3)) + "x"), kRefused);
    EXPECT_TRUE(fsys::exists(served() + "/A"));
    EXPECT_FALSE(fsys::exists(served() + "/D"));
}

TEST(LogText, ControlBytesAreEscaped) {
    EXPECT_EQ(kv::util::escape_log_text(std::string("a\nb\x1b[2J\x7f\x00z\x80", 11)),
              "a\\x0Ab\\x1B[2J\\x7F\\x00z\x80");
}

}  // namespace
