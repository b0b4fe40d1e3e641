#include "tools/kvdb/kvdb_commands.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <thread>

#include "db/code_pages.h"
#include "db/db_errors.h"
#include "db/disk_io.h"
#include "db/memo_file.h"
#include "db/pack_swap.h"
#include "platform/files.h"
#include "tools/kvdb/kvdb.h"
#include "tools/kvdb/kvdb_mounts.h"
#include "util/error_record.h"
#include "util/settings.h"

namespace kv::kvdb {
namespace {

constexpr auto kLockPatience = std::chrono::seconds(30);

void need(const Options& options, std::size_t count, const char* what) {
    if (options.positional.size() != count) throw UsageError(what);
}

db::FieldSpec parse_field_spec(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t colon; (colon = text.find(':', start)) != std::string::npos;
         start = colon + 1) {
        parts.push_back(text.substr(start, colon - start));
    }
    parts.push_back(text.substr(start));
    if (parts.size() < 2 || parts.size() > 4 || parts[0].empty() || parts[1].size() != 1) {
        throw UsageError("a field is NAME:TYPE[:WIDTH[:DECIMALS]], not \"" + text + "\"");
    }
    db::FieldSpec spec;
    spec.name = parts[0];
    spec.type = static_cast<char>(std::toupper(static_cast<unsigned char>(parts[1][0])));
    const bool fixed = spec.type == 'D' || spec.type == 'L' || spec.type == 'M';
    if (parts.size() < 3 && !fixed) throw UsageError("field " + spec.name + " needs a width");
    auto number = [&](const std::string& digits) {
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos ||
            digits.size() > 5) {
            throw UsageError("\"" + digits + "\" is not a width or decimal count in \"" + text +
                             "\"");
        }
        return std::stoi(digits);
    };
    if (parts.size() >= 3) spec.width = number(parts[2]);
    if (parts.size() == 4) spec.decimals = number(parts[3]);
    return spec;
}

// Error records that allow a quiet failure are answered quietly, so that kvdb can wait and retry.
class QuietRetries {
  public:
    QuietRetries()
        : guard_([](const util::ErrorRecord& record) -> util::ErrorAnswer {
              if (record.candefault) return std::nullopt;
              throw util::UnhandledError(record);
          }) {}

  private:
    util::ScopedErrorHandler guard_;
};

template <typename Try>
bool with_patience(Try attempt) {
    const auto deadline = std::chrono::steady_clock::now() + kLockPatience;
    while (!attempt()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// The files that belong to a table besides itself: its memo file and its own bags.
std::vector<std::string> companions_of(const std::string& table) {
    const std::string file = platform::file_part(table);
    const auto dot = file.rfind('.');
    const std::string stem =
        platform::folder_part(table) + (dot == std::string::npos ? file : file.substr(0, dot));
    std::vector<std::string> found;
    for (const char* extension : {".DBT", ".FPT", ".NTX", ".CDX"}) {
        const std::string name = stem + extension;
        if (platform::file_exists(name))
            found.push_back(platform::resolve_path(name, platform::NameCase::AsGiven));
    }
    return found;
}

// The name an old table's file has while a create --force puts the new table in its place.
constexpr const char* kAsideSuffix = ".kvdb-old";

int command_create(Command& command) {
    const Options options = parse_options(command.arguments, {"--memo-ext"}, {"--force"});
    if (options.positional.size() < 2)
        throw UsageError("create needs a table and at least one field");
    std::vector<db::FieldSpec> fields;
    for (std::size_t i = 1; i < options.positional.size(); ++i)
        fields.push_back(parse_field_spec(options.positional[i]));
    db::CreateOptions create;
    if (auto ext = options.value("--memo-ext"))
        create.memo_extension = (ext->front() == '.' ? "" : ".") + *ext;
    if (create.memo_extension.empty()) create.memo_extension = ".DBT";
    create.code_page_mark = db::mark_of_code_page(code_page_override().value_or(1252)).value_or(0);
    const std::string table = db::with_extension(options.positional[0], ".DBF");
    std::vector<std::string> old_files;
    if (platform::file_exists(table)) {
        if (!options.flag("--force"))
            throw Failure("the table " + table + " exists (--force replaces it)");
        // Nobody may be using it (a damaged table may be replaced all the same).
        platform::File probe;
        if (!probe.open(table, platform::Access::ReadWrite, platform::Share::DenyAll,
                        platform::Disposition::OpenExisting))
            throw Failure("the table " + table + " is in use by another program");
        probe.close();
        old_files = companions_of(table);
    }
    // The old table's bags, and a memo file of another name, would not fit the new one. They are
    // moved aside before the new table goes in, and back when it cannot: a failure leaves the
    // old table whole with every file it had.
    const std::string new_memo = platform::resolve_path(
        db::stem_of(platform::resolve_path(table, platform::NameCase::Setting)) +
            create.memo_extension,
        platform::NameCase::Setting);
    const bool has_memo = std::any_of(fields.begin(), fields.end(), [](const db::FieldSpec& f) {
        return db::is_memo_type(f.type);
    });
    std::vector<std::string> moved;
    auto put_back = [&] {
        for (const std::string& old : moved) std::rename((old + kAsideSuffix).c_str(), old.c_str());
    };
    for (const std::string& old : old_files) {
        if (old == new_memo && has_memo) continue;
        if (std::rename(old.c_str(), (old + kAsideSuffix).c_str()) != 0) {
            put_back();
            throw Failure("the old file " + old + " cannot be moved aside; nothing is replaced");
        }
        moved.push_back(old);
    }
    // The new table takes the old one's place whole, or the old one stays whole.
    if (!db::Table::create(table, fields, create)) {
        put_back();
        return 1;
    }
    for (const std::string& old : moved) {
        if (!platform::delete_file(old + kAsideSuffix))
            *command.err << "kvdb: the old file " << old << " is left as " << old + kAsideSuffix
                         << " (it cannot be removed); the new table does not use it\n";
    }
    return 0;
}

int command_append(Command& command) {
    const Options options = parse_options(command.arguments, {"--bag"}, {});
    if (options.positional.empty()) throw UsageError("append needs a table");
    auto table = open_table(options.positional[0], true, false);
    open_bags(*table, options.all("--bag"), true);
    // Every value is checked against its field before anything is written: a refused value
    // leaves the table, its memo file and its bags as they were.
    const std::vector<CheckedValue> values =
        check_assignments(*table, {options.positional.begin() + 1, options.positional.end()});
    // The record reaches the disk with its values, or not at all.
    auto fill = [&] {
        bool filled = true;
        for (const CheckedValue& value : values) filled = put_checked(*table, value) && filled;
        return filled;
    };
    {
        QuietRetries quiet;
        if (!with_patience([&] { return table->append_with(fill); }))
            throw Failure("the table stays locked by another program");
    }
    table->unlock();
    return table->close() ? 0 : 1;
}

int command_dump(Command& command) {
    const Options options =
        parse_options(command.arguments, {"--order", "--for"}, {"--deleted", "--raw"});
    need(options, 1, "dump needs a table");
    auto table = open_table(options.positional[0], true, true);
    const bool deleted = options.flag("--deleted");
    const bool raw = options.flag("--raw");
    std::ostream& out = *command.out;
    if (auto order = options.value("--order")) select_order(*table, *order);
    std::function<bool()> filter;
    if (auto text = options.value("--for")) filter = compile_filter(*table, *text);
    for (int i = 0; i < table->field_count(); ++i)
        out << (i ? "," : "") << csv_field(shown_text(*table, table->field_spec(i).name));
    out << (deleted ? ",DELETED" : "") << "\n";
    util::RuntimeSettings& settings = util::settings();
    const bool hide = settings.hide_deleted;
    settings.hide_deleted = !deleted;
    try {
        for (table->go_top(); !table->eof(); table->skip()) {
            if (filter && !filter()) continue;
            // The whole line first: a field that cannot be read leaves no half line behind.
            std::string line;
            for (int i = 0; i < table->field_count(); ++i)
                line += (i ? "," : "") + csv_field(field_text(*table, i, raw));
            if (deleted) line += table->deleted() ? ",T" : ",F";
            out << line << "\n";
        }
    } catch (...) {
        settings.hide_deleted = hide;
        throw;
    }
    settings.hide_deleted = hide;
    return 0;
}

const char* version_text(std::uint8_t version) {
    switch (version) {
        case db::kVersionPlain:
            return "no memo";
        case db::kVersionDbtMemo:
            return "memo of 512-byte blocks ended by 0x1A";
        case db::kVersionFptMemo:
            return "memo of typed blocks";
        default:
            return "later layout";
    }
}

int command_info(Command& command) {
    const Options options = parse_options(command.arguments, {"--bag"}, {});
    need(options, 1, "info needs a table");
    auto table = open_table(options.positional[0], true, true);
    open_bags(*table, options.all("--bag"), true);
    const db::DbfHeader& header = table->header();
    std::ostream& out = *command.out;
    char line[160];
    out << "Table: " << table->file_name() << "\n";
    std::snprintf(line, sizeof line, "Version byte: 0x%02X (%s)\n", header.version,
                  version_text(header.version));
    out << line;
    out << "Records: " << table->record_count() << "\n";
    std::snprintf(line, sizeof line, "Last update: %04d-%02d-%02d\n", header.year, header.month,
                  header.day);
    out << line;
    out << "Header length: " << header.header_length << "\nRecord length: " << header.record_length
        << "\n";
    const auto page = db::code_page_of_mark(header.code_page);
    std::snprintf(line, sizeof line, "Code page mark: 0x%02X (%s)\n", header.code_page,
                  page ? ("code page " + std::to_string(*page)).c_str()
                       : "not known, read as code page 1252");
    out << line;
    if (text_code_page(*table) != page.value_or(1252))
        out << "Text read and written as: code page " << text_code_page(*table) << "\n";
    if (const db::MemoFile* memo = table->memo()) {
        out << "Memo file: " << memo->name() << " (block size " << memo->block_size() << ")\n";
    }
    out << "Fields:\n";
    for (int i = 0; i < table->field_count(); ++i) {
        const db::FieldSpec& spec = table->field_spec(i);
        // Padded by characters, not bytes: a name may hold letters of several bytes in UTF-8.
        const std::string name = shown_text(*table, spec.name);
        std::snprintf(line, sizeof line, " %c %5d %2d\n", spec.type, spec.width, spec.decimals);
        out << "  " << name << std::string(spec.name.size() < 10 ? 10 - spec.name.size() : 0, ' ')
            << line;
    }
    const auto tags = tag_descriptions(*table);
    if (!tags.empty()) out << "Tags:\n";
    for (const std::string& tag : tags) out << "  " << tag << "\n";
    return 0;
}

int command_zap_or_pack(Command& command) {
    const Options options = parse_options(command.arguments, {"--bag"}, {});
    need(options, 1, "the command needs a table");
    auto table = open_table(options.positional[0], false, false);
    open_bags(*table, options.all("--bag"), true, false);
    const bool ok = command.name == "zap" ? table->zap() : table->pack();
    return table->close() && ok ? 0 : 1;
}

int command_check(Command& command) {
    const Options options = parse_options(command.arguments, {"--bag"}, {});
    need(options, 1, "check needs a table");
    std::vector<std::string> faults;
    std::unique_ptr<db::Table> table;
    {
        util::ScopedErrorHandler collect([&](const util::ErrorRecord& record) -> util::ErrorAnswer {
            faults.push_back(error_text(record));
            return std::nullopt;
        });
        table = db::Table::open(options.positional[0], db::OpenOptions{true, true, {}});
        if (table) {
            const db::DbfHeader& header = table->header();
            const std::uint64_t end =
                header.header_length +
                static_cast<std::uint64_t>(header.record_count) * header.record_length;
            char mark = 0;
            if (db::read_exact(table->fd(), end, &mark, 1) && mark != db::kEofMark) {
                faults.push_back("no end-of-file mark after the last record");
            }
            std::string bytes;
            for (long r = 1; r <= static_cast<long>(header.record_count) && faults.size() < 20;
                 ++r) {
                try {
                    table->read_record(r, bytes);
                } catch (const db::Corrupt& fault) {
                    faults.push_back(fault.what());
                    break;
                }
                if (bytes[0] != db::kLiveFlag && bytes[0] != db::kDeletedFlag) {
                    faults.push_back("record " + std::to_string(r) + " has a bad deleted flag");
                }
                for (int i = 0; i < table->field_count(); ++i) {
                    if (!db::is_memo_type(table->field_spec(i).type)) continue;
                    try {
                        table->value_in(i, bytes.data());
                    } catch (const db::Corrupt& fault) {
                        faults.push_back("record " + std::to_string(r) + ", " + fault.what());
                    }
                }
            }
            open_bags(*table, options.all("--bag"), true);
            for (const std::string& fault : check_tags(*table)) faults.push_back(fault);
        }
    }
    // Not a fault of the files, but a danger to them: locks that other PCs cannot see.
    if (table) {
        if (const auto warning = local_lock_warning(table->file_name()))
            *command.err << "kvdb: warning: " << *warning << "\n";
    }
    if (faults.empty()) {
        *command.out << "OK\n";
        return 0;
    }
    for (const std::string& fault : faults) *command.err << "kvdb: " << fault << "\n";
    return 1;
}

}  // namespace

std::optional<std::string> Options::value(const std::string& name) const {
    for (auto it = values.rbegin(); it != values.rend(); ++it) {
        if (it->first == name) return it->second;
    }
    return std::nullopt;
}

std::vector<std::string> Options::all(const std::string& name) const {
    std::vector<std::string> found;
    for (const auto& [key, value] : values) {
        if (key == name) found.push_back(value);
    }
    return found;
}

bool Options::flag(const std::string& name) const {
    return std::find(flags.begin(), flags.end(), name) != flags.end();
}

Options parse_options(const std::vector<std::string>& arguments,
                      const std::vector<std::string>& with_value,
                      const std::vector<std::string>& switches) {
    std::vector<cli::Option> known;
    for (const std::string& name : with_value) known.push_back({name, "a value"});
    for (const std::string& name : switches) known.push_back({name});
    cli::CommandLine line = cli::parse(arguments, known);
    Options options;
    options.positional = std::move(line.operands);
    for (auto& [name, value] : line.options) {
        if (std::find(switches.begin(), switches.end(), name) != switches.end())
            options.flags.push_back(name);
        else
            options.values.emplace_back(name, std::move(value));
    }
    return options;
}

bool patiently(const std::function<bool()>& attempt) {
    QuietRetries quiet;
    return with_patience(attempt);
}

std::unique_ptr<db::Table> open_table(const std::string& name, bool shared, bool read_only) {
    std::unique_ptr<db::Table> table;
    QuietRetries quiet;
    const bool opened = with_patience([&] {
        table = db::Table::open(name, db::OpenOptions{shared, read_only, {}});
        return table != nullptr;
    });
    if (!opened) throw Failure("the table " + name + " is in use by another program");
    return table;
}

Handler find_command(const std::string& name) {
    static const std::map<std::string, Handler> kCommands = {
        {"create", command_create},   {"append", command_append},   {"dump", command_dump},
        {"info", command_info},       {"zap", command_zap_or_pack}, {"pack", command_zap_or_pack},
        {"check", command_check},     {"index", command_index},     {"seek", command_seek},
        {"reindex", command_reindex}, {"update", command_edit},     {"delete", command_edit},
        {"recall", command_edit},     {"import", command_edit},
    };
    const auto found = kCommands.find(name);
    return found == kCommands.end() ? Handler() : found->second;
}

}  // namespace kv::kvdb
