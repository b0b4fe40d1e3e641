// Long streams of random bytes and random well-formed commands through the command loop, on a
// manual clock so that time-outs cost nothing, in a served folder inside a temporary one. The
// program must survive them, touch nothing outside the served folder and still answer a
// Catalogue correctly.
#include <random>
#include <set>

#include <gtest/gtest.h>

#include "core/catalogue_lines.h"
#include "core/command_loop.h"
#include "core/handlers.h"
#include "core/log.h"
#include "core/served_folder.h"
#include "core/stored_file.h"
#include "gui/main_window.h"
#include "tests/core/handler_fixture.h"

namespace {

using kv::test::save_args;

class CountingPane : public kv::gui::LogPane {
  public:
    void append_line(const std::string& line) override {
        ++lines;
        last = line;
    }
    const std::string& text() const override { return last; }
    int lines = 0;
    std::string last;
};

// Random traffic: names from a small set, some of which try to climb out of the served folder,
// commands cut short or garbled, and bytes that are not commands at all.
class TrafficGenerator {
  public:
    explicit TrafficGenerator(unsigned seed) : rng_(seed) {}

    std::string next() {
        switch (pick(7)) {
            case 0:
                return garbage();
            case 1:
                return "S" +
                       save_args(static_cast<std::uint8_t>(pick(3)), rnd16(), 0, rnd16(), name());
            case 2: {
                const auto len = static_cast<std::uint16_t>(pick(300));
                // Sometimes the data stops short; the rest then times out.
                return "S" +
                       save_args(static_cast<std::uint8_t>(pick(4)), rnd16(), len, rnd16(),
                                 name()) +
                       bytes(pick(2) ? len : len / 2);
            }
            case 3:
                return "S" +
                       save_args(0, 0, static_cast<std::uint16_t>(pick(3)), 0,
                                 "D" + std::to_string(pick(3)) + "/") +
                       "x";
            case 4:
                return "L" + (pick(4) == 0 ? std::string(pick(2) ? "D1/" : "../../") : name()) +
                       "\r";
            case 5:
                return "E" + (pick(5) == 0 ? std::string("*") : name()) + "\r";
            default:
                return "C" + (pick(3) ? std::string() : std::string("D1/")) + "\r" +
                       bytes(pick(12));
        }
    }

  private:
    unsigned pick(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(rng_); }
    std::uint16_t rnd16() { return static_cast<std::uint16_t>(rng_()); }
    std::string name() {
        static const char* names[] = {"A",  "b", "PROG", "D1/X",    "d1/y",  "",
                                      "A*", "?", "D2/Z", "../OUT*", "/../*", "\\..\\B"};
        return names[pick(12)];
    }
    std::string bytes(unsigned n) {
        std::string s;
        for (unsigned i = 0; i < n; ++i) s += static_cast<char>(rng_());
        return s;
    }
    // Anything but command letters.
    std::string garbage() {
        std::string s;
        for (unsigned i = 0, n = pick(64); i < n; ++i) {
            char c = static_cast<char>(rng_());
            if (c != 'S' && c != 'L' && c != 'E' && c != 'C' && c != 'P') s += c;
        }
        return s;
    }
    std::mt19937 rng_;
};

class CommandLoopStress : public kv::test::HandlerFixture {};

TEST_F(CommandLoopStress, SurvivesRandomTrafficInsideTheServedFolderAndThenListsCorrectly) {
    // Beside the served folder: a stored file that a climbing Erase would delete.
    const std::string outside = kv::core::encode_header({});
    dir.write("OUT", outside);
    const std::string top = (dir.path() / "SERVED").string();
    std::filesystem::create_directory(top);
    ASSERT_TRUE(kv::core::set_served_root(top));
    TrafficGenerator traffic(20261207);
    int chunks = 0;
    bool esc = false;
    // Whenever the loop would wait, more traffic arrives; at the end Esc is pressed (released
    // again, with a CR, should the loop go on).
    link.on_idle([&] {
        if (chunks < 10000) {
            ++chunks;
            device_sends(traffic.next());
            if (chunks % 50 == 0) pc_sent();  // keep the line drained
            return true;
        }
        esc = !esc;
        kv::platform::set_key_down(kv::platform::VK_ESCAPE, esc);
        if (!esc) device_sends("\r");
        return true;
    });
    CountingPane pane;
    kv::core::ScopedLogSink log([&pane](const std::string& line) { pane.append_line(line); });
    kv::core::KV(port, pane);
    kv::platform::release_all_keys();
    link.on_idle(nullptr);
    EXPECT_GT(pane.lines, 500);

    std::set<std::string> beside;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        beside.insert(e.path().filename().string());
    EXPECT_EQ(beside, (std::set<std::string>{"OUT", "SERVED"}));
    EXPECT_EQ(dir.read("OUT"), outside);

    // Back in the top folder (Loads of folders may have left it), a Catalogue still answers right.
    ASSERT_TRUE(kv::core::enter_served_folder("/"));
    kv::core::receive_buffer().clear();
    pc_sent();
    unsigned stored = 0;
    for (const auto& e : std::filesystem::directory_iterator(top))
        if (e.is_regular_file() && kv::core::read_stored_header(e.path().string())) ++stored;
    device_sends("\r" + std::string(200, '\x06'));
    kv::core::CAT(port);
    const std::string out = pc_sent(2);
    ASSERT_GE(out.size(), 2 + 32 * 8u);
    EXPECT_EQ(out.front(), '\0');
    EXPECT_EQ(out.back(), '\0');
    EXPECT_EQ((out.size() - 2) % 32, 0u);
    EXPECT_EQ(out.substr(out.size() - 33, 32), kv::core::count_line(stored));
}

}  // namespace
