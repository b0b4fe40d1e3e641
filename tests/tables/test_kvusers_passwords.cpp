// kvusers' passwords off the command line: typed at a terminal without echo, or read from
// standard input; and a user table that other users cannot read.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <sstream>
#include <thread>

#include "tables/login_users.h"
#include "tests/tables/tables_fixture.h"
#include "tools/kvusers/users_cli.h"

namespace kv::users {
namespace {

// A new terminal in its usual (cooked, echoing) mode: kvusers reads the slave, the test types
// on the master and reads there what the terminal shows.
struct Terminal {
    Terminal() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128];
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0 &&
            ::ptsname_r(master, name, sizeof name) == 0)
            slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    ~Terminal() {
        if (slave >= 0) ::close(slave);
        if (master >= 0) ::close(master);
    }
    bool echoes() const {
        termios t{};
        return ::tcgetattr(slave, &t) == 0 && (t.c_lflag & ECHO);
    }
    // Types the lines once the echo is off, as a person does after the prompt.
    std::thread type_when_quiet(std::string lines) {
        return std::thread([this, lines] {
            for (int i = 0; i < 10000 && echoes(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            [[maybe_unused]] auto n = ::write(master, lines.data(), lines.size());
        });
    }
    std::string shown() {
        std::string text;
        char buffer[256];
        pollfd in{master, POLLIN, 0};
        while (::poll(&in, 1, 100) > 0) {
            const auto n = ::read(master, buffer, sizeof buffer);
            if (n <= 0) break;
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return text;
    }
    int master = -1;
    int slave = -1;
};

class KvusersPasswords : public test::TablesTest {
  protected:
    int run(const std::vector<std::string>& args, const std::string& input = {},
            int terminal = -1) {
        std::istringstream in(input);
        out_.str({});
        err_.str({});
        return run_kvusers(args, out_, err_, {&in, terminal});
    }
    std::string password_of(const std::string& id) {
        auto users = db::open_users();
        if (!users || !db::find_user(*users, db::user_key(id, db::user_id_width(*users))))
            return "<no user>";
        return db::user_of(*users).password;
    }
    std::ostringstream out_, err_;
};

TEST_F(KvusersPasswords, TypedAtTheTerminalWithoutEchoAndAskedTwice) {
    Terminal terminal;
    ASSERT_GE(terminal.slave, 0);
    ASSERT_TRUE(terminal.echoes());
    auto typist = terminal.type_when_quiet("segreto\nsegreto\n");
    EXPECT_EQ(run({"add", "rossi", "--level", "3"}, {}, terminal.slave), 0) << err_.str();
    typist.join();
    EXPECT_EQ(err_.str(), "Password: Password again: ");
    EXPECT_EQ(terminal.shown().find("segreto"), std::string::npos);
    EXPECT_TRUE(terminal.echoes()) << "the terminal is put back";
    EXPECT_EQ(password_of("ROSSI"), "segreto");

    typist = terminal.type_when_quiet("uno\ndue\n");
    EXPECT_EQ(run({"passwd", "rossi"}, {}, terminal.slave), 1);
    typist.join();
    EXPECT_NE(err_.str().find("the two passwords differ"), std::string::npos) << err_.str();
    EXPECT_EQ(password_of("ROSSI"), "segreto");
    EXPECT_TRUE(terminal.echoes());
}

TEST_F(KvusersPasswords, FromStandardInputOrTheCommandLineAndNeverGuessed) {
    const int not_a_terminal = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    struct Case {
        std::vector<std::string> args;
        std::string input;
        int status;
        std::string password_of_verdi;  // afterwards
    };
    const std::vector<Case> cases{
        {{"add", "verdi", "--level", "2", "--password-stdin"}, "primo\r\nrest", 0, "primo"},
        {{"passwd", "verdi", "--password-stdin"}, "", 1, "primo"},  // nothing to read
        {{"passwd", "verdi"}, "secondo\n", 2, "primo"},  // no terminal, no --password-stdin
        {{"passwd", "verdi", "--password", "a", "--password-stdin"}, "b\n", 2, "primo"},
        {{"passwd", "verdi", "terzo"}, "", 0, "terzo"},  // as scripts have always given it
        {{"passwd", "verdi", "--password", "quarto"}, "", 0, "quarto"},
        {{"passwd", "verdi", "--password-stdin"}, "\n", 0, ""},  // an empty password is one
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.args, c.input, not_a_terminal), c.status) << c.args[1] << err_.str();
        EXPECT_EQ(password_of("VERDI"), c.password_of_verdi) << c.args.size();
    }
    ::close(not_a_terminal);
}

TEST_F(KvusersPasswords, TheUserTableIsKeptFromOtherUsersWhateverTheUmask) {
    const mode_t saved = ::umask(0);
    EXPECT_EQ(run({"add", "bianchi", "--level", "1", "--password", "x"}), 0) << err_.str();
    EXPECT_EQ(::umask(saved), 0) << "the umask is put back";
    for (const char* file : {db::kUsersTable, db::kUsersIndex}) {
        struct stat st {};
        ASSERT_EQ(::stat(file, &st), 0) << file;
        EXPECT_EQ(st.st_mode & 0777, 0640u) << file;
    }
}

}  // namespace
}  // namespace kv::users
