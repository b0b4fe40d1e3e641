#include "tools/kvusers/users_cli.h"

#include <optional>

#include "platform/files.h"
#include "tables/login.h"
#include "tables/login_users.h"
#include "util/file_names.h"

namespace kv::users {
namespace {

struct Failure {
    int code;
    std::string text;
};

[[noreturn]] void usage(const std::string& text) {
    throw Failure{2, text};
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

std::unique_ptr<db::Table> open_table() {
    if (!platform::file_exists(db::kUsersTable)) {
        refuse(std::string("there is no ") + db::kUsersTable + " in this folder");
    }
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

void add(const std::string& id, int level, const std::string& password) {
    if (!platform::file_exists(db::kUsersTable) && !db::create_users()) {
        refuse(std::string("cannot create ") + db::kUsersTable);
    }
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

void run(const std::vector<std::string>& args, std::ostream& out) {
    if (args.empty()) usage("no command given");
    const std::string& command = argument(args, 0);
    if (command == "add") {
        std::optional<int> level;
        std::optional<std::string> password;
        for (std::size_t i = 2; i < args.size(); i += 2) {
            const std::string& value = argument(args, i + 1);
            if (args[i] == "--level") {
                level = level_of(value);
            } else if (args[i] == "--password") {
                password = value;
            } else {
                usage("unknown option " + args[i]);
            }
        }
        if (!level || !password) usage("add needs --level and --password");
        add(upper_id(argument(args, 1)), *level, *password);
    } else if (command == "passwd") {
        expect_count(args, 3);
        auto users = user_record(upper_id(args[1]));
        const int width = db::password_width(*users);
        store(*users, "PASSWD", db::user_key(checked_password(args[2], width), width));
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

}  // namespace

int run_kvusers(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    try {
        run(arguments, out);
        return 0;
    } catch (const Failure& failure) {
        err << "kvusers: " << failure.text << '\n';
        if (failure.code == 2) err << "Try kvusers --help.\n";
        return failure.code;
    }
}

}  // namespace kv::users
