#include "db/dbf_table.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "db/db_errors.h"
#include "db/disk_io.h"
#include "db/order_list.h"
#include "db/pack_swap.h"
#include "util/settings.h"
#include "util/wall_clock.h"

namespace kv::db {
namespace {

constexpr int kDiskFullOsCode = 112;

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string base_of(const std::string& name) {
    std::string base = platform::file_part(name);
    if (const auto dot = base.rfind('.'); dot != std::string::npos) base.resize(dot);
    return base;
}

std::string without_extension(const std::string& name) {
    return platform::folder_part(name) + base_of(name);
}

bool raise_open_failure(const std::string& name, const char* operation) {
    const platform::FileError error = platform::last_file_error();
    const bool sharing = error.win32 == platform::win_error::SHARING_VIOLATION ||
                         error.win32 == platform::win_error::LOCK_VIOLATION;
    return raise(kGenOpen, "Open error", name, operation,
                 sharing ? platform::win_error::SHARING_VIOLATION : error.win32, sharing);
}

}  // namespace

std::string with_extension(const std::string& name, const std::string& extension) {
    return platform::file_part(name).find('.') == std::string::npos ? name + extension : name;
}

Table::Table() = default;

Table::~Table() {
    try {
        close();
    } catch (...) {
    }
}

std::unique_ptr<Table> Table::open(const std::string& name, const OpenOptions& options) {
    const std::string file = with_extension(name, ".DBF");
    finish_interrupted_pack(file);
    std::unique_ptr<Table> table(new Table());
    table->shared_ = options.shared;
    table->read_only_ = options.read_only;
    const auto access = options.read_only ? platform::Access::Read : platform::Access::ReadWrite;
    const auto share = options.shared ? platform::Share::DenyNone : platform::Share::DenyAll;
    if (!table->file_.open(file, access, share, platform::Disposition::OpenExisting)) {
        raise_open_failure(file, "open");
        return nullptr;
    }
    table->name_ = platform::resolve_path(file, platform::NameCase::Setting);
    try {
        const int fd = table->file_.fd();
        const std::string first = read_at(fd, 0, 32);
        const std::string bytes = read_at(fd, 0, header_length_of(first));
        table->header_ = parse_header(bytes, file_size(fd));
        const bool has_memo =
            std::any_of(table->header_.fields.begin(), table->header_.fields.end(),
                        [](const FieldLayout& f) { return is_memo_type(f.spec.type); });
        if (has_memo) {
            const MemoLayout layout =
                table->header_.version == kVersionDbtMemo ? MemoLayout::Old : MemoLayout::Blocks;
            const std::string stem = without_extension(table->name_);
            std::string memo_name = stem + util::settings().memo_extension;
            for (const char* other : {".FPT", ".DBT"}) {
                if (platform::file_exists(memo_name)) break;
                memo_name = stem + other;
            }
            // Under its name on disk (t.fpt stays t.fpt when a zap makes it again).
            memo_name = platform::resolve_path(memo_name, platform::NameCase::AsGiven);
            if (!table->memo_.open(memo_name, layout, access, share)) {
                raise_open_failure(memo_name, "open");
                return nullptr;
            }
        }
    } catch (const Corrupt& fault) {
        raise_corrupt(file, "open", fault.what());
        return nullptr;
    }
    table->alias_ = options.alias.empty() ? upper(base_of(file)) : upper(options.alias);
    table->go_top();
    return table;
}

bool Table::create(const std::string& name, std::vector<FieldSpec> fields,
                   const CreateOptions& options) {
    const std::string file = with_extension(name, ".DBF");
    if (const std::string fault = check_field_specs(fields); !fault.empty()) {
        raise(kGenArgument, "Invalid field list: " + fault, file, "create");
        return false;
    }
    DbfHeader header;
    const bool has_memo = std::any_of(fields.begin(), fields.end(),
                                      [](const FieldSpec& f) { return is_memo_type(f.type); });
    header.version = !has_memo                                   ? kVersionPlain
                     : options.memo_layout == MemoLayout::Blocks ? kVersionFptMemo
                                                                 : kVersionDbtMemo;
    const util::LocalDateTime now = util::local_now();
    header.year = now.year;
    header.month = static_cast<int>(now.month);
    header.day = static_cast<int>(now.day);
    header.code_page = options.code_page_mark;
    int offset = 1;
    for (FieldSpec& spec : fields) {
        header.fields.push_back(FieldLayout{spec, offset});
        offset += spec.width;
    }
    header.record_length = static_cast<std::uint16_t>(offset);
    const std::string bytes = build_header(header) + kEofMark;
    const std::string target = platform::resolve_path(file, platform::NameCase::Setting);
    std::string memo_target;
    if (has_memo) {
        const std::string extension = options.memo_extension.empty()
                                          ? util::settings().memo_extension
                                          : options.memo_extension;
        memo_target = platform::resolve_path(without_extension(file) + extension,
                                             platform::NameCase::Setting);
    }
    return install_new_table(target, bytes, memo_target, options);
}

// The new table and its memo file are written under temporary names and renamed into place, the
// table first: a failure leaves no part of a table, and an old table of that name stays whole
// (with its memo file) unless the new one has taken its place.
bool Table::install_new_table(const std::string& target, const std::string& bytes,
                              const std::string& memo_target, const CreateOptions& options) {
    const std::string stem = stem_of(target);
    const std::string temp = stem + ".TMD", temp_memo = stem + ".TMM", kept = stem + ".TMB",
                      kept_memo = stem + ".TMN";
    auto drop = [&] {
        for (const std::string* name : {&temp, &temp_memo, &kept, &kept_memo})
            ::unlink(name->c_str());
    };
    auto fail = [&](const std::string& failed, int error, bool writing) {
        drop();
        const bool full = error == ENOSPC || error == EDQUOT || error == EFBIG;
        return raise(writing ? kGenWrite : kGenCreate,
                     full      ? "Disk full"
                     : writing ? "Write error"
                               : "Create error",
                     failed, "create",
                     full      ? kDiskFullOsCode
                     : writing ? platform::win_error::GEN_FAILURE
                               : platform::last_file_error().win32,
                     false, full ? std::optional<long>(kSubDiskFull) : std::nullopt);
    };
    drop();
    platform::File out;
    if (!out.open(temp, platform::Access::ReadWrite, platform::Share::DenyAll,
                  platform::Disposition::CreateAlways, platform::NameCase::AsGiven))
        return fail(target, platform::last_file_error().posix, false);
    int error = write_at(out.fd(), 0, bytes);
    if (error == 0 && !out.flush()) error = platform::last_file_error().posix;
    if (!out.close() && error == 0) error = platform::last_file_error().posix;
    if (error != 0) return fail(target, error, true);
    if (!memo_target.empty() &&
        !MemoFile::create(temp_memo, options.memo_layout, options.memo_block_size))
        return fail(memo_target, platform::last_file_error().posix, true);
    // An old table and memo file are kept under second names until the new ones are in place
    // and on disk, and come back when that fails.
    const bool replacing = platform::file_exists(target);
    const bool backup = replacing && ::link(target.c_str(), kept.c_str()) == 0;
    const bool memo_backup = !memo_target.empty() && platform::file_exists(memo_target) &&
                             ::link(memo_target.c_str(), kept_memo.c_str()) == 0;
    auto undo = [&](bool memo_moved) {
        if (backup) ::rename(kept.c_str(), target.c_str());
        if (!replacing) ::unlink(target.c_str());
        if (memo_moved && memo_backup) ::rename(kept_memo.c_str(), memo_target.c_str());
        if (memo_moved && !memo_backup) ::unlink(memo_target.c_str());
    };
    if (::rename(temp.c_str(), target.c_str()) != 0) return fail(target, errno, true);
    if (!memo_target.empty() && ::rename(temp_memo.c_str(), memo_target.c_str()) != 0) {
        error = errno;
        undo(false);
        return fail(memo_target, error, true);
    }
    if (const int synced = sync_folder(target); synced != 0) {
        undo(!memo_target.empty());
        return fail(target, synced, true);
    }
    ::unlink(kept.c_str());
    ::unlink(kept_memo.c_str());
    return true;
}

bool Table::close() {
    if (!file_.is_open()) return true;
    bool ok = true;
    try {
        ok = commit();
    } catch (...) {
        orders_.reset();
        memo_.close();
        file_.close();
        throw;
    }
    const bool bags_closed = !orders_ || orders_->close_all();
    orders_.reset();
    unlock(0);
    const bool memo_closed = memo_.close();
    const bool closed = file_.close();
    if (!bags_closed || !memo_closed || !closed) {
        // A write that the file system could finish only now has failed.
        return write_failed(platform::last_file_error().posix, "close");
    }
    return ok;
}

void Table::install_orders(std::unique_ptr<OrderList> orders) {
    orders_ = std::move(orders);
}

std::optional<int> Table::field_index(std::string_view name) const {
    std::string wanted(name);
    while (!wanted.empty() && wanted.back() == ' ') wanted.pop_back();
    wanted = upper(wanted);
    // Other programs name fields in lower or mixed case: names match without regard to case.
    for (std::size_t i = 0; i < header_.fields.size(); ++i) {
        if (upper(header_.fields[i].spec.name) == wanted) return static_cast<int>(i);
    }
    return std::nullopt;
}

std::optional<int> Table::bind(std::string_view alias, std::string_view name) const {
    const std::string wanted = upper(std::string(alias));
    if (!wanted.empty() && wanted != "FIELD" && wanted != alias_) return std::nullopt;
    return field_index(name);
}

FieldShape Table::shape(int slot) const {
    if (slot < 0 || slot >= field_count()) return {};
    const FieldSpec& spec = field_spec(slot);
    return FieldShape{spec.type, spec.width, spec.decimals};
}

// ---- Header and records ------------------------------------------------------------------------

void Table::refresh_count() {
    if (!shared_) return;
    char bytes[4];
    if (!read_exact(file_.fd(), 4, bytes, 4)) throw Corrupt("the header cannot be read");
    std::uint32_t count = 0;
    for (int i = 3; i >= 0; --i) count = count << 8 | static_cast<std::uint8_t>(bytes[i]);
    const std::uint64_t needed =
        header_.header_length + static_cast<std::uint64_t>(count) * header_.record_length;
    if (needed > file_size(file_.fd()))
        throw Corrupt("the record count points past the end of the file");
    header_.record_count = count;
}

long Table::record_count() {
    try {
        refresh_count();
    } catch (const Corrupt& fault) {
        raise_corrupt(name_, "count", fault.what());
    }
    return static_cast<long>(header_.record_count);
}

bool Table::read_record(long recno, std::string& bytes) {
    if (recno < 1 || static_cast<std::uint64_t>(recno) > header_.record_count) return false;
    bytes.resize(header_.record_length);
    const std::uint64_t offset =
        header_.header_length + static_cast<std::uint64_t>(recno - 1) * header_.record_length;
    if (!read_exact(file_.fd(), offset, bytes.data(), bytes.size())) {
        throw Corrupt("record " + std::to_string(recno) + " lies past the end of the file");
    }
    return true;
}

void Table::load(long recno) {
    if (!read_record(recno, record_)) {
        set_eof();
        return;
    }
    stored_ = record_;
    recno_ = recno;
    eof_ = false;
    pending_memos_.clear();
}

void Table::set_eof() {
    blank_record(header_, record_);
    stored_ = record_;
    pending_memos_.clear();
    recno_ = static_cast<long>(header_.record_count) + 1;
    eof_ = true;
}

bool Table::hidden(const char* record) const {
    return record[0] == kDeletedFlag && util::settings().hide_deleted;
}

bool Table::deleted() const {
    return !eof_ && record_[0] == kDeletedFlag;
}

// ---- Navigation --------------------------------------------------------------------------------

void Table::go_top() {
    go_end(1, "go top");
}

void Table::go_bottom() {
    go_end(-1, "go bottom");
}

// The first visible record from the top (+1) or from the bottom (-1); end of file with bof
// when there is none.
void Table::go_end(long direction, const char* operation) {
    try {
        commit();
        refresh_count();
        bof_ = eof_ = found_ = false;
        const bool ordered = orders_ && orders_->active();
        const long count = static_cast<long>(header_.record_count);
        long r = ordered ? (direction > 0 ? orders_->first() : orders_->last())
                         : (direction > 0 ? 1 : count);
        while (ordered ? r != 0 : r >= 1 && r <= count) {
            load(r);
            if (!hidden(record_.data())) return;
            r = following(direction);
        }
        set_eof();
        bof_ = true;
    } catch (const Corrupt& fault) {
        set_eof();
        raise_corrupt(name_, operation, fault.what());
    }
}

// The record after (+1) or before (-1) the current one, in the current order or in natural
// order; 0 past either end of an order.
long Table::following(long direction) {
    if (!orders_ || !orders_->active()) return recno_ + direction;
    return direction > 0 ? orders_->next() : orders_->previous();
}

void Table::go_to(long recno) {
    try {
        commit();
        bof_ = found_ = false;
        if (recno > static_cast<long>(header_.record_count)) refresh_count();
        if (recno >= 1 && recno <= static_cast<long>(header_.record_count)) {
            load(recno);
        } else {
            set_eof();
        }
    } catch (const Corrupt& fault) {
        set_eof();
        raise_corrupt(name_, "go to", fault.what());
    }
}

// One visible record forward (+1) or back (-1); end of file or the first record with bof.
void Table::step(long direction) {
    const bool ordered = orders_ && orders_->active();
    long r = 0;
    if (eof_) {
        if (direction > 0) return;
        refresh_count();
        r = ordered ? orders_->last() : static_cast<long>(header_.record_count);
    } else {
        r = following(direction);
    }
    if (!ordered && direction > 0 && r > static_cast<long>(header_.record_count)) refresh_count();
    while (r >= 1 && r <= static_cast<long>(header_.record_count)) {
        load(r);
        if (!hidden(record_.data())) return;
        r = following(direction);
    }
    if (direction > 0) {
        set_eof();
    } else {
        go_top();
        bof_ = true;
    }
}

void Table::skip(long count) {
    try {
        commit();
        found_ = false;
        bof_ = false;
        if (count == 0) {
            if (!eof_) load(recno_);
            return;
        }
        const long direction = count > 0 ? 1 : -1;
        for (long i = 0; i < std::abs(count); ++i) {
            step(direction);
            if ((direction > 0 && eof_) || (direction < 0 && bof_)) break;
        }
    } catch (const Corrupt& fault) {
        set_eof();
        raise_corrupt(name_, "skip", fault.what());
    }
}

bool Table::seek(const Value& key, bool soft, bool last) {
    try {
        commit();
        bof_ = found_ = false;
        if (!orders_ || !orders_->active()) {
            raise(kGenArgument, "Seek without a current order", name_, "seek");
            return false;
        }
        bool found = false;
        long r = orders_->seek(key, soft, last, found);
        bool skipped = false;
        while (r != 0) {
            load(r);
            if (!hidden(record_.data())) break;
            skipped = true;
            r = last ? orders_->previous() : orders_->next();
        }
        if (r == 0) {
            set_eof();
            return false;
        }
        // Hidden matches skipped over may have led past the matching keys.
        found_ = found && (!skipped || orders_->current_matches(key));
        if (!found_ && !soft) set_eof();
        return found_;
    } catch (const Corrupt& fault) {
        set_eof();
        raise_corrupt(name_, "seek", fault.what());
        return false;
    }
}

}  // namespace kv::db
