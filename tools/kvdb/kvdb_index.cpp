// The commands and options of kvdb that use index bags and expressions.
#include <cstdio>

#include "db/index_orders.h"
#include "platform/files.h"
#include "tools/kvdb/kvdb.h"
#include "tools/kvdb/kvdb_commands.h"
#include "util/error_record.h"
#include "util/settings.h"

namespace kv::kvdb {
namespace {

std::pair<std::string, std::string> split_bag_tag(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) {
        throw UsageError("an order is BAG:TAG, not \"" + text + "\"");
    }
    return {text.substr(0, colon), text.substr(colon + 1)};
}

// The bag's name as given, or beside the table when it names no folder.
std::string bag_path(const db::Table& table, const std::string& bag) {
    if (!platform::folder_part(bag).empty()) return bag;
    return platform::folder_part(table.file_name()) + bag;
}

}  // namespace

void open_bags(db::Table& table, const std::vector<std::string>& bags, bool implicit, bool notice) {
    db::IndexOrders& orders = db::index_orders(table);
    for (const std::string& bag : bags) {
        if (!orders.open_bag(bag_path(table, bag), notice))
            throw Failure("the bag " + bag + " cannot be opened");
    }
    // The table's own bag is kept as well, whatever other bags are named.
    if (!implicit) return;
    std::string stem = table.file_name();
    stem.resize(stem.size() - platform::file_part(stem).size() +
                platform::file_part(stem).rfind('.'));
    for (const char* extension : {".NTX", ".CDX"}) {
        if (platform::file_exists(stem + extension)) orders.open_bag(stem + extension, notice);
    }
}

std::vector<std::string> tag_descriptions(db::Table& table) {
    std::vector<std::string> lines;
    db::IndexOrders& orders = db::index_orders(table);
    for (int n = 1; n <= orders.count(); ++n) {
        std::string line = platform::file_part(orders.bag_name(n)) + ":" + orders.tag_name(n) +
                           "  " + orders.key_type(n) + "  " + orders.key_text(n);
        if (!orders.for_text(n).empty()) line += "  FOR " + orders.for_text(n);
        if (orders.unique(n)) line += "  UNIQUE";
        if (orders.descending(n)) line += "  DESCENDING";
        lines.push_back(line);
    }
    return lines;
}

void select_order(db::Table& table, const std::string& bag_and_tag) {
    const auto [bag, tag] = split_bag_tag(bag_and_tag);
    open_bags(table, {bag}, false);
    db::IndexOrders& orders = db::index_orders(table);
    const int number = orders.find(tag, bag_path(table, bag));
    if (number == 0) throw Failure("the bag " + bag + " has no tag " + tag);
    orders.set_current(number);
}

std::vector<std::string> check_tags(db::Table& table) {
    return db::index_orders(table).check();
}

std::function<bool()> compile_filter(db::Table& table, const std::string& text) {
    auto expression = std::make_shared<db::Expression>(
        db::Expression::compile(stored_text(table, text, "the condition"), table));
    db::Table* source = &table;
    return [expression, source] {
        const db::Value value = expression->evaluate(*source);
        const bool* flag = std::get_if<bool>(&value);
        if (flag == nullptr) throw Failure("the condition does not give a logical value");
        return *flag;
    };
}

int command_index(Command& command) {
    const Options options =
        parse_options(command.arguments, {"--for"}, {"--unique", "--descending"});
    if (options.positional.size() != 4)
        throw UsageError("index needs a table, a bag, a tag and a key");
    auto table = open_table(options.positional[0], false, false);
    const std::string bag = bag_path(*table, options.positional[1]);
    db::IndexOrders& orders = db::index_orders(*table);
    if (platform::file_exists(db::with_extension(bag, ".NTX")) && !orders.open_bag(bag)) {
        throw Failure("the bag " + options.positional[1] + " cannot be opened");
    }
    db::BuildConditions conditions;
    conditions.for_text = stored_text(*table, options.value("--for").value_or(""), "the condition");
    conditions.descending = options.flag("--descending");
    table->set_build_conditions(conditions);
    const bool built = orders.create_order(bag, options.positional[2],
                                           stored_text(*table, options.positional[3], "the key"),
                                           options.flag("--unique"));
    return table->close() && built ? 0 : 1;
}

int command_reindex(Command& command) {
    const Options options = parse_options(command.arguments, {}, {});
    if (options.positional.empty() || options.positional.size() > 2)
        throw UsageError("reindex needs a table and at most one bag");
    auto table = open_table(options.positional[0], false, false);
    db::IndexOrders& orders = db::index_orders(*table);
    std::vector<std::string> bags;
    // The tags are built again from what the bag says of them: a bag that cannot be read no
    // longer says it, and nothing can build them but the commands that made them.
    auto open = [&](const std::string& bag) {
        std::string why;
        util::ScopedErrorHandler note([&](const util::ErrorRecord& record) -> util::ErrorAnswer {
            if (why.empty()) why = error_text(record);
            return std::nullopt;
        });
        if (!orders.open_bag(bag, false)) {
            throw Failure(why + "\nkvdb: the bag " + bag +
                          " cannot be read, so the tags it held are not known and reindex "
                          "cannot build them again; remove the bag and make its tags again "
                          "with kvdb index");
        }
        bags.push_back(bag);
    };
    if (options.positional.size() == 2) {
        open(bag_path(*table, options.positional[1]));
    } else {
        std::string stem = table->file_name();
        stem.resize(stem.size() - platform::file_part(stem).size() +
                    platform::file_part(stem).rfind('.'));
        for (const char* extension : {".NTX", ".CDX"}) {
            if (platform::file_exists(stem + extension)) open(stem + extension);
        }
        if (bags.empty()) throw Failure("the table has no bag of its own; name the bag");
    }
    for (const std::string& bag : bags) {
        if (!orders.reindex_bag(bag)) throw Failure("the bag " + bag + " cannot be rebuilt");
    }
    const bool marked = table->ensure_end_mark();
    return table->close() && marked ? 0 : 1;
}

int command_seek(Command& command) {
    const Options options = parse_options(command.arguments, {}, {"--raw", "--deleted"});
    if (options.positional.size() != 3) throw UsageError("seek needs a table, BAG:TAG and a value");
    // Deleted records are passed over, as dump passes them, unless --deleted asks for them.
    util::settings().hide_deleted = !options.flag("--deleted");
    auto table = open_table(options.positional[0], true, true);
    select_order(*table, options.positional[1]);
    db::IndexOrders& orders = db::index_orders(*table);
    std::string error;
    const char type = orders.key_type(orders.current());
    const std::string& given = options.positional[2];
    auto value =
        parse_value(type, type == 'C' ? stored_text(*table, given, "the value") : given, error);
    if (!value) throw Failure(error);
    if (!table->seek(*value)) return 1;
    std::string line;
    for (int i = 0; i < table->field_count(); ++i)
        line += (i ? "," : "") + csv_field(field_text(*table, i, options.flag("--raw")));
    *command.out << line << "\n";
    return 0;
}

}  // namespace kv::kvdb
