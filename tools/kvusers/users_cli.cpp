#include "tools/kvusers/users_cli.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "cli/command_line.h"
#include "kvusers_help.h"
#include "platform/beneath.h"
#include "platform/files.h"
#include "tables/login.h"
#include "tables/login_users.h"
#include "tools/kvusers/password.h"
#include "util/file_names.h"

namespace kv::users {
namespace {

struct Failure {
    int code;
    std::string text;
};

[[noreturn]] void usage(const std::string& text) {
    throw cli::UsageError(text);
}
[[noreturn]] void refuse(const std::string& text) {
    throw Failure{1, text};
}

std::string upper_id(const std::string& id) {
    std::string upper = platform::to_upper_name(id);
    if (!util::LFNFNAME(upper) || upper.find_first_of(' ') != std::string::npos) {
        refuse("not a valid user id: \"" + id + "\"");
    }
    if (static_cast<int>(upper.size()) > db::kUserIdWidth) {
        refuse("a user id has at most " + std::to_string(db::kUserIdWidth) + " characters");
    }
    return upper;
}

int level_of(const std::string& text) {
    if (text.size() != 1 || text[0] < '0' + db::kLowestLevel || text[0] > '0' + db::kHighestLevel) {
        refuse("the level is a number from 1 to 9, not \"" + text + "\"");
    }
    return text[0] - '0';
}

std::string checked_password(const std::string& password, int width) {
    if (static_cast<int>(password.size()) > width) {
        refuse("a password has at most " + std::to_string(width) + " characters");
    }
    if (!password.empty() && password.back() == ' ') refuse("a password may not end in a blank");
    return password;
}

// A table or index name that is a link is never written through.
void refuse_links() {
    struct stat st;
    for (const char* name : {db::kUsersTable, db::kUsersIndex})
        if (::lstat(platform::resolve_path(name).c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            refuse(std::string(name) + " is a link, which kvusers never writes through");
}

std::unique_ptr<db::Table> open_table() {
    if (!platform::file_exists(db::kUsersTable)) {
        refuse(std::string("there is no ") + db::kUsersTable + " in this folder");
    }
    refuse_links();
    if (!db::ensure_users_index()) refuse(std::string("cannot build ") + db::kUsersIndex);
    auto users = db::open_users();
    if (!users) refuse(std::string("cannot open ") + db::kUsersTable);
    return users;
}

// The table positioned on the user, its record locked.
std::unique_ptr<db::Table> user_record(const std::string& id) {
    auto users = open_table();
    if (!db::find_user(*users, db::user_key(id, db::user_id_width(*users)))) {
        refuse("no user " + id);
    }
    if (!users->lock_record()) refuse("the user " + id + " is being changed by another program");
    return users;
}

void store(db::Table& users, const char* field, const db::Value& value) {
    if (!users.put(field, value) || !users.commit()) refuse("cannot write USERS.DBF");
}

// Why the user table could not be made here.
std::string why_not_created() {
    if (::access(".", W_OK) != 0) return std::strerror(errno);
    const std::string why = platform::file_error_text(platform::last_file_error());
    return why.empty() ? "it could not be written" : why;
}

// Makes the user table and its index in a new private folder here and moves them into place
// without replacing anything: a link or a file that another user of this folder put under either
// name is never written through nor replaced.
void create_users_here() {
    const std::string cannot = std::string("cannot create ") + db::kUsersTable;
    char made[] = ".kvusers-XXXXXX";
    if (::mkdtemp(made) == nullptr)
        refuse(cannot + ": " + why_not_created() +
               "; run kvusers in a folder that this user may write");
    const platform::Fd here(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    const platform::Fd fresh(::open(made, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    std::string why;
    if (!here.valid() || !fresh.valid() || ::fchdir(fresh.get()) != 0) {
        why = std::strerror(errno);
    } else {
        const bool created = db::create_users();
        if (::fchdir(here.get()) != 0) why = std::strerror(errno);
        if (!created) why = "the table cannot be written";
    }
    bool table_placed = false;
    if (why.empty() && ::renameat2(fresh.get(), db::kUsersIndex, here.get(), db::kUsersIndex,
                                   RENAME_NOREPLACE) != 0)
        why = std::string(db::kUsersIndex) + ": " + std::strerror(errno);
    if (why.empty() && ::renameat2(fresh.get(), db::kUsersTable, here.get(), db::kUsersTable,
                                   RENAME_NOREPLACE) != 0) {
        why = std::string(db::kUsersTable) + ": " + std::strerror(errno);
        ::unlinkat(here.get(), db::kUsersIndex, 0);
    } else {
        table_placed = why.empty();
    }
    for (const char* name : {db::kUsersTable, db::kUsersIndex}) ::unlinkat(fresh.get(), name, 0);
    ::unlinkat(here.get(), made, AT_REMOVEDIR);
    if (!table_placed) refuse(cannot + " (" + why + ")");
}

void add(const std::string& id, int level, const std::string& password) {
    refuse_links();
    if (!platform::file_exists(db::kUsersTable)) create_users_here();
    auto users = open_table();
    const int width = db::password_width(*users);
    checked_password(password, width);
    const std::string key = db::user_key(id, db::user_id_width(*users));
    if (!users->lock_file()) refuse("USERS.DBF is locked by another program");
    if (db::find_user(*users, key)) refuse("the user " + id + " exists already");
    if (!users->append()) refuse("cannot append to USERS.DBF");
    store(*users, "USERID", key);
    store(*users, "PASSWD", db::user_key(password, width));
    store(*users, "LEVEL", static_cast<double>(level));
}

void list(std::ostream& out) {
    auto users = open_table();
    for (users->go_top(); !users->eof(); users->skip(1)) {
        if (users->deleted()) continue;
        const db::UserRecord user = db::user_of(*users);
        out << user.id << ' ' << user.level << '\n';
    }
}

const std::string& argument(const std::vector<std::string>& args, std::size_t n) {
    if (n >= args.size()) usage("missing argument");
    return args[n];
}

void expect_count(const std::vector<std::string>& args, std::size_t count) {
    if (args.size() != count) usage("wrong number of arguments for " + args[0]);
}

// The options of add and passwd: --level N, --password PW, --password-stdin.
struct Options {
    std::optional<int> level;
    std::optional<std::string> password;
    bool password_stdin = false;
};

Options options_from(const cli::CommandLine& line) {
    Options options;
    if (const auto level = line.value("--level")) options.level = level_of(*level);
    options.password = line.value("--password");
    options.password_stdin = line.has("--password-stdin");
    if (options.password && options.password_stdin)
        usage("--password and --password-stdin exclude each other");
    return options;
}

// The password given on the command line, else read from standard input (--password-stdin),
// else asked for on the terminal.
std::string password_from(const Options& options, const PasswordInput& input, std::ostream& err) {
    if (options.password) return *options.password;
    if (options.password_stdin) {
        auto line = read_password_line(*input.in);
        if (!line) refuse("no password on standard input");
        return *line;
    }
    if (!::isatty(input.terminal))
        usage("no password given: type it at a terminal, or pass it with --password-stdin");
    std::string why;
    auto typed = ask_password(input.terminal, err, why);
    if (!typed) refuse(why);
    return *typed;
}

void run(const cli::CommandLine& line, std::ostream& out, std::ostream& err,
         const PasswordInput& input) {
    const std::vector<std::string>& args = line.operands;
    if (args.empty()) usage("no command given");
    const std::string& command = argument(args, 0);
    if (command != "add" && command != "passwd" && !line.options.empty())
        usage(line.options.front().first + " goes with add and passwd only");
    if (command == "add") {
        const std::string id = upper_id(argument(args, 1));
        expect_count(args, 2);
        const Options options = options_from(line);
        if (!options.level) usage("add needs --level");
        add(id, *options.level, password_from(options, input, err));
    } else if (command == "passwd") {
        const std::string id = upper_id(argument(args, 1));
        // The password may also stand after the id, as it always could.
        const bool positional = args.size() > 2;
        if (args.size() > 3) usage("wrong number of arguments for passwd");
        Options options = options_from(line);
        if (options.level) usage("passwd takes no --level");
        if (positional) {
            if (options.password || options.password_stdin) usage("two passwords given");
            options.password = args[2];
        }
        // Asked for before the record is locked: typing takes time.
        const std::string password = password_from(options, input, err);
        auto users = user_record(id);
        const int width = db::password_width(*users);
        store(*users, "PASSWD", db::user_key(checked_password(password, width), width));
    } else if (command == "level") {
        expect_count(args, 3);
        const int level = level_of(args[2]);
        auto users = user_record(upper_id(args[1]));
        store(*users, "LEVEL", static_cast<double>(level));
    } else if (command == "remove") {
        expect_count(args, 2);
        auto users = user_record(upper_id(args[1]));
        users->mark_deleted(true);
        if (!users->commit()) refuse("cannot write USERS.DBF");
    } else if (command == "list") {
        expect_count(args, 1);
        list(out);
    } else {
        usage("unknown command " + command);
    }
}

// The user table holds every password, scrambled only: the files made meanwhile are kept from
// other users (at most mode 0640, whatever the umask).
class PrivateFiles {
  public:
    PrivateFiles() : previous_(::umask(0)) { ::umask(previous_ | 027); }
    ~PrivateFiles() { ::umask(previous_); }
    PrivateFiles(const PrivateFiles&) = delete;
    PrivateFiles& operator=(const PrivateFiles&) = delete;

  private:
    mode_t previous_;
};

constexpr cli::Option kOptions[] = {
    {"--level", "a level"}, {"--password", "a password"}, {"--password-stdin"}};

}  // namespace

int run_kvusers(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                const PasswordInput& input) {
    PrivateFiles private_files;
    const cli::Program program{"kvusers", help::kvusers, kOptions};
    return cli::start(program, arguments, out, err, [&](const cli::CommandLine& line) {
        try {
            run(line, out, err, input);
            return 0;
        } catch (const Failure& failure) {
            err << "kvusers: " << failure.text << '\n';
            return failure.code;
        }
    });
}

}  // namespace kv::users
