#include "tables/login_users.h"

#include "db/index_orders.h"
#include "platform/files.h"
#include "tables/login.h"
#include "util/error_record.h"

namespace kv::db {
namespace {

std::string unpadded(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

std::string text_of(const Value& value) {
    const auto* text = std::get_if<std::string>(&value);
    return text ? *text : std::string();
}

int width_of(const Table& users, const char* field) {
    const auto index = users.field_index(field);
    return index ? users.field_spec(*index).width : 0;
}

// Failures to open or create the user table are the caller's to report.
util::ErrorAnswer quietly(const util::ErrorRecord&) {
    return std::nullopt;
}

}  // namespace

std::unique_ptr<Table> open_users(bool shared) {
    util::ScopedErrorHandler quiet(quietly);
    auto users = Table::open(kUsersTable,
                             OpenOptions{.shared = shared, .read_only = false, .alias = "USERS"});
    if (!users || !users->field_index("USERID") || !users->field_index("PASSWD") ||
        !users->field_index("LEVEL")) {
        return nullptr;
    }
    IndexOrders& orders = index_orders(*users);
    if (!orders.open_bag(kUsersIndex) || !orders.set_current(1)) return nullptr;
    return users;
}

int user_id_width(const Table& users) {
    return width_of(users, "USERID");
}

int password_width(const Table& users) {
    return width_of(users, "PASSWD");
}

std::string user_key(const std::string& id, int width) {
    std::string padded = id.substr(0, static_cast<std::size_t>(width));
    padded.resize(static_cast<std::size_t>(width), ' ');
    return std::get<std::string>(CRYPT(padded));
}

bool find_user(Table& users, const std::string& key) {
    // Removed users are deleted records, which the tools see unless the setting hides them.
    for (bool found = users.seek(key); found && !users.eof(); users.skip(1)) {
        if (text_of(users.get("USERID")) != key) return false;
        if (!users.deleted()) return true;
    }
    return false;
}

UserRecord user_of(const Table& users) {
    UserRecord user;
    user.id = unpadded(std::get<std::string>(CRYPT(text_of(users.get("USERID")))));
    user.password = unpadded(std::get<std::string>(CRYPT(text_of(users.get("PASSWD")))));
    const Value level = users.get("LEVEL");
    const auto* number = std::get_if<double>(&level);
    user.level = number ? static_cast<int>(*number) : 0;
    return user;
}

bool ensure_users_index() {
    if (platform::file_exists(kUsersIndex)) return true;
    util::ScopedErrorHandler quiet(quietly);
    auto users = Table::open(kUsersTable);
    return users && index_orders(*users).create_order(kUsersIndex, "USERID", "USERID", false);
}

bool create_users() {
    util::ScopedErrorHandler quiet(quietly);
    if (!Table::create(kUsersTable, {{"USERID", 'C', kUserIdWidth, 0},
                                     {"PASSWD", 'C', kPasswordWidth, 0},
                                     {"LEVEL", 'N', 1, 0}})) {
        return false;
    }
    auto users = Table::open(kUsersTable);
    return users && index_orders(*users).create_order(kUsersIndex, "USERID", "USERID", false);
}

}  // namespace kv::db
