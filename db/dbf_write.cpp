// Field values, writes, appends, locks, zap and pack of a table.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "db/db_errors.h"
#include "db/dbf_table.h"
#include "db/disk_io.h"
#include "db/order_list.h"
#include "db/pack_swap.h"
#include "util/wall_clock.h"

namespace kv::db {
namespace {

constexpr int kDiskFullOsCode = 112;

}  // namespace

Value Table::value_in(int index, const char* record) const {
    const FieldLayout& layout = header_.fields.at(static_cast<std::size_t>(index));
    return decode_field(layout, record, const_cast<MemoFile*>(memo_.is_open() ? &memo_ : nullptr));
}

Value Table::get(int index) const {
    if (index < 0 || index >= field_count()) {
        raise(kGenArgument, "No such field", name_, "get");
        return Nil{};
    }
    for (const auto& [slot, text] : pending_memos_) {
        if (slot == index) return text;
    }
    try {
        return value_in(index, record_.data());
    } catch (const Corrupt& fault) {
        raise_corrupt(memo_.is_open() ? memo_.name() : name_, "get",
                      "record " + std::to_string(recno_) + ", " + fault.what());
        return Nil{};
    }
}

Value Table::get(std::string_view name) const {
    const auto index = field_index(name);
    if (!index) {
        raise(kGenArgument, "No such field: " + std::string(name), name_, "get");
        return Nil{};
    }
    return get(*index);
}

bool Table::writable(const char* operation) {
    if (read_only_) {
        raise(kGenReadOnly, "The table is open read-only", name_, operation);
        return false;
    }
    return true;
}

bool Table::may_change() {
    if (!writable("put")) return false;
    if (eof_) {
        raise(kGenArgument, "No current record at end of file", name_, "put");
        return false;
    }
    if (shared_ && !file_locked_ && locked_.count(recno_) == 0) {
        raise(kGenNotLocked, "The record is not locked", name_, "put");
        return false;
    }
    return true;
}

bool Table::put(int index, const Value& value) {
    if (index < 0 || index >= field_count()) {
        raise(kGenArgument, "No such field", name_, "put");
        return false;
    }
    if (!may_change()) return false;
    const FieldLayout& layout = header_.fields[static_cast<std::size_t>(index)];
    if (is_memo_type(layout.spec.type)) {
        const auto* text = std::get_if<std::string>(&value);
        if (text == nullptr || !memo_.is_open()) {
            raise(kGenArgument, "A memo takes text", name_, "put");
            return false;
        }
        std::erase_if(pending_memos_, [index](const auto& p) { return p.first == index; });
        pending_memos_.emplace_back(index, *text);
        dirty_ = true;
        return true;
    }
    if (std::strchr("CNFDL", layout.spec.type) == nullptr) {
        raise(kGenArgument, "Fields of type " + std::string(1, layout.spec.type) + " are read only",
              name_, "put");
        return false;
    }
    if (!encode_field(layout, value, record_.data())) {
        const bool wrong_type =
            value_type(value) != (layout.spec.type == 'F' ? 'N' : layout.spec.type);
        raise(wrong_type ? kGenArgument : kGenDataWidth,
              wrong_type ? "Wrong type for field " + layout.spec.name
                         : "Value too wide for field " + layout.spec.name,
              name_, "put");
        return false;
    }
    dirty_ = true;
    return true;
}

bool Table::put(std::string_view name, const Value& value) {
    const auto index = field_index(name);
    if (!index) {
        raise(kGenArgument, "No such field: " + std::string(name), name_, "put");
        return false;
    }
    return put(*index, value);
}

bool Table::put_decimal(int index, std::string_view text) {
    if (index < 0 || index >= field_count()) {
        raise(kGenArgument, "No such field", name_, "put");
        return false;
    }
    if (!may_change()) return false;
    const FieldLayout& layout = header_.fields[static_cast<std::size_t>(index)];
    if (layout.spec.type != 'N' && layout.spec.type != 'F') {
        raise(kGenArgument, "Wrong type for field " + layout.spec.name, name_, "put");
        return false;
    }
    const auto stored = decimal_field_text(text, layout.spec.width, layout.spec.decimals);
    if (!stored) {
        raise(kGenDataWidth, "Value too wide for field " + layout.spec.name, name_, "put");
        return false;
    }
    std::memcpy(record_.data() + layout.offset, stored->data(), stored->size());
    dirty_ = true;
    return true;
}

void Table::mark_deleted(bool deleted) {
    if (!may_change()) return;
    record_[0] = deleted ? kDeletedFlag : kLiveFlag;
    dirty_ = true;
}

bool Table::write_failed(int error, const char* operation) {
    const bool full = error == ENOSPC || error == EDQUOT || error == EFBIG;
    raise(kGenWrite, full ? "Disk full" : "Write error", name_, operation,
          full ? kDiskFullOsCode : platform::win_error::GEN_FAILURE, false,
          full ? std::optional<long>(kSubDiskFull) : std::nullopt);
    return false;
}

void Table::write_header_date() {
    if (date_written_) return;
    const util::LocalDateTime now = util::local_now();
    std::string bytes =
        count_and_date_bytes(0, now.year, static_cast<int>(now.month), static_cast<int>(now.day));
    write_at(file_.fd(), 1, bytes.data(), 3);
    header_.year = now.year;
    header_.month = static_cast<int>(now.month);
    header_.day = static_cast<int>(now.day);
    date_written_ = true;
}

bool Table::commit() {
    if (!dirty_) return write_new_keys();
    try {
        for (const auto& [slot, text] : pending_memos_) {
            const FieldLayout& layout = header_.fields[static_cast<std::size_t>(slot)];
            int error = 0;
            const std::uint32_t block = memo_.write(text, shared_, &error);
            if (error != 0) {
                dirty_ = false;
                pending_memos_.clear();
                record_ = stored_;
                return write_failed(error, "memo write");
            }
            set_memo_block(layout, block, record_.data());
        }
        pending_memos_.clear();
        if (orders_) orders_->about_to_write(recno_, keys_pending_ ? nullptr : &stored_, record_);
        const std::uint64_t offset =
            header_.header_length + static_cast<std::uint64_t>(recno_ - 1) * header_.record_length;
        if (const int error = write_at(file_.fd(), offset, record_); error != 0) {
            if (orders_) orders_->write_abandoned();
            dirty_ = false;
            record_ = stored_;
            return write_failed(error, "write");
        }
        write_header_date();
        dirty_ = false;
        const std::string before = stored_;
        stored_ = record_;
        const bool appended = keys_pending_;
        keys_pending_ = false;
        if (orders_) orders_->record_written(recno_, appended ? nullptr : &before, record_);
        return true;
    } catch (const Corrupt& fault) {
        if (orders_) orders_->write_abandoned();
        dirty_ = false;
        raise_corrupt(name_, "write", fault.what());
        return false;
    } catch (const WriteFailed& failure) {
        if (orders_) orders_->write_abandoned();
        dirty_ = false;
        return write_failed(failure.error(), "write");
    }
}

bool Table::write_new_keys() {
    if (!keys_pending_) return true;
    keys_pending_ = false;
    try {
        if (orders_) orders_->record_written(recno_, nullptr, stored_);
        return true;
    } catch (const Corrupt& fault) {
        raise_corrupt(name_, "write", fault.what());
        return false;
    } catch (const WriteFailed& failure) {
        return write_failed(failure.error(), "write");
    }
}

bool Table::append() {
    if (!writable("append") || !commit()) return false;
    const int fd = file_.fd();
    const bool need_lock = shared_ && !file_locked_;
    if (need_lock && !try_lock(fd, kAppendLockOffset, 1, true)) {
        raise(kGenAppendLock, "Append lock failed", name_, "append", 0, true);
        return false;
    }
    bool done = false;
    try {
        refresh_count();
        const long recno = static_cast<long>(header_.record_count) + 1;
        std::string record(header_.record_length, ' ');
        for (const FieldLayout& field : header_.fields) blank_field(field, record.data());
        const std::uint64_t offset =
            header_.header_length + static_cast<std::uint64_t>(recno - 1) * header_.record_length;
        std::string bytes = record + kEofMark;
        int error = reserve(fd, offset, bytes.size());
        if (error == 0) error = write_at(fd, offset, bytes);
        if (error != 0) {
            // Nothing half-written stays: the file ends where it ended, with its mark.
            if (::ftruncate(fd, static_cast<off_t>(offset)) == 0)
                write_at(fd, offset, std::string(1, kEofMark));
            write_failed(error, "append");
        } else {
            if (shared_ && !file_locked_) {
                for (long held : locked_)
                    db::unlock(fd, kRecordLockBase + static_cast<std::uint64_t>(held), 1);
                locked_.clear();
                try_lock(fd, kRecordLockBase + static_cast<std::uint64_t>(recno), 1, true);
            }
            locked_.insert(recno);
            const util::LocalDateTime now = util::local_now();
            const std::string header_bytes =
                count_and_date_bytes(static_cast<std::uint32_t>(recno), now.year,
                                     static_cast<int>(now.month), static_cast<int>(now.day));
            if (const int header_error = write_at(fd, 1, header_bytes); header_error != 0) {
                write_failed(header_error, "append");
            } else {
                date_written_ = true;
                header_.record_count = static_cast<std::uint32_t>(recno);
                record_ = stored_ = record;
                pending_memos_.clear();
                recno_ = recno;
                eof_ = bof_ = found_ = false;
                // The keys follow with the record's first commit, mostly with its values.
                keys_pending_ = true;
                done = true;
            }
        }
    } catch (const Corrupt& fault) {
        if (need_lock) db::unlock(fd, kAppendLockOffset, 1);
        raise_corrupt(name_, "append", fault.what());
        return false;
    } catch (const WriteFailed& failure) {
        if (need_lock) db::unlock(fd, kAppendLockOffset, 1);
        return write_failed(failure.error(), "append");
    }
    if (need_lock) db::unlock(fd, kAppendLockOffset, 1);
    return done;
}

// ---- Locks -------------------------------------------------------------------------------------

bool Table::record_locked(long recno) const {
    return file_locked_ || locked_.count(recno) != 0;
}

std::vector<long> Table::locked_records() const {
    return {locked_.begin(), locked_.end()};
}

bool Table::lock_record(long recno, bool release_others) {
    if (recno == 0) recno = recno_;
    if (release_others && file_locked_) {
        // The file lock gives way to this record's lock alone, with no moment in which the
        // record is free: the bytes on either side of the record's byte are let go.
        commit();
        if (shared_) {
            const int fd = file_.fd();
            const std::uint64_t byte = kRecordLockBase + static_cast<std::uint64_t>(recno);
            if (recno >= 1 && static_cast<std::uint64_t>(recno) < kFileLockLength) {
                db::unlock(fd, kRecordLockBase, byte - kRecordLockBase);
                db::unlock(fd, byte + 1, kRecordLockBase + kFileLockLength - byte - 1);
            } else {
                db::unlock(fd, kRecordLockBase, kFileLockLength);
                if (!try_lock(fd, byte, 1, !read_only_)) {
                    file_locked_ = false;
                    locked_.clear();
                    return false;
                }
            }
        }
        file_locked_ = false;
        locked_.clear();
        locked_.insert(recno);
        return true;
    }
    if (release_others) {
        commit();
        for (long held : locked_) {
            if (held != recno && shared_ && !file_locked_) {
                db::unlock(file_.fd(), kRecordLockBase + static_cast<std::uint64_t>(held), 1);
            }
        }
        const bool had = locked_.count(recno) != 0;
        locked_.clear();
        if (had) locked_.insert(recno);
    }
    if (locked_.count(recno) != 0) return true;
    if (shared_ && !file_locked_) {
        if (!try_lock(file_.fd(), kRecordLockBase + static_cast<std::uint64_t>(recno), 1,
                      !read_only_)) {
            return false;
        }
    }
    locked_.insert(recno);
    // What another program changed before the lock is seen now.
    if (shared_ && recno == recno_ && !eof_ && !dirty_) skip(0);
    return true;
}

bool Table::lock_file() {
    if (file_locked_) return true;
    commit();
    if (shared_) {
        for (long held : locked_)
            db::unlock(file_.fd(), kRecordLockBase + static_cast<std::uint64_t>(held), 1);
        locked_.clear();
        if (!try_lock(file_.fd(), kRecordLockBase, kFileLockLength, !read_only_)) return false;
    }
    file_locked_ = true;
    if (shared_ && !eof_ && !dirty_) skip(0);
    return true;
}

void Table::unlock(long recno) {
    commit();
    const int fd = file_.fd();
    if (recno != 0) {
        if (locked_.erase(recno) != 0 && shared_ && !file_locked_) {
            db::unlock(fd, kRecordLockBase + static_cast<std::uint64_t>(recno), 1);
        }
        return;
    }
    if (shared_) {
        if (file_locked_) {
            db::unlock(fd, kRecordLockBase, kFileLockLength);
        } else {
            for (long held : locked_)
                db::unlock(fd, kRecordLockBase + static_cast<std::uint64_t>(held), 1);
        }
    }
    file_locked_ = false;
    locked_.clear();
}

// ---- Zap and pack ------------------------------------------------------------------------------

// In an order that a kill at any moment leaves readable: the tags are emptied (their bags marked
// meanwhile), the count becomes 0, the records are cut off, the memo file starts again, and the
// marks are cleared.
bool Table::zap() {
    if (!writable("zap")) return false;
    if (shared_ && !file_locked_) {
        raise(kGenNotLocked, "Zap needs exclusive use or the file lock", name_, "zap");
        return false;
    }
    dirty_ = false;
    keys_pending_ = false;
    pending_memos_.clear();
    try {
        if (orders_) orders_->empty_all();
    } catch (const Corrupt& fault) {
        raise_corrupt(name_, "zap", fault.what());
        return false;
    } catch (const WriteFailed& failure) {
        return write_failed(failure.error(), "zap");
    }
    const int fd = file_.fd();
    const std::uint64_t end = header_.header_length;
    const util::LocalDateTime now = util::local_now();
    int error = write_at(
        fd, 1,
        count_and_date_bytes(0, now.year, static_cast<int>(now.month), static_cast<int>(now.day)));
    if (error == 0) error = write_at(fd, end, std::string(1, kEofMark));
    if (error == 0) error = ::ftruncate(fd, static_cast<off_t>(end + 1)) == 0 ? 0 : errno;
    if (error != 0) return write_failed(error, "zap");
    header_.record_count = 0;
    if (memo_.is_open()) {
        const std::string memo_name = memo_.name();
        const MemoLayout layout = memo_.layout();
        const auto block = static_cast<int>(memo_.block_size());
        memo_.close();
        // A fresh memo file put in place by a rename: never a half-written one.
        const std::string fresh = pack_names(name_).copy_memo;
        if (MemoFile::create(fresh, layout, block) && sync_file(fresh)) {
            replace_file(fresh, memo_name);
        } else {
            ::unlink(fresh.c_str());
        }
        memo_.open(memo_name, layout, platform::Access::ReadWrite,
                   shared_ ? platform::Share::DenyNone : platform::Share::DenyAll);
    }
    try {
        if (orders_) orders_->tags_emptied();
    } catch (const Corrupt& fault) {
        raise_corrupt(name_, "zap", fault.what());
    } catch (const WriteFailed& failure) {
        write_failed(failure.error(), "zap");
    }
    go_top();
    return true;
}

// Through a copy: the records that are not deleted, with their memos in a fresh memo file, are
// written beside the table and put in its place by renames (pack_swap.h), so that a kill at any
// moment leaves the old table or the packed one, and a failure leaves the old one untouched.
bool Table::pack() {
    if (!writable("pack")) return false;
    if (shared_) {
        raise(kGenNotLocked, "Pack needs exclusive use", name_, "pack");
        return false;
    }
    if (!commit()) return false;
    const PackNames names = pack_names(name_);
    const std::string memo_name = memo_.is_open() ? memo_.name() : std::string();
    auto drop_copy = [&] {
        ::unlink(names.copy.c_str());
        ::unlink(names.copy_memo.c_str());
    };
    long kept = 0;
    long reading = 0;
    try {
        drop_copy();
        MemoFile fresh;
        if (memo_.is_open() &&
            (!MemoFile::create(names.copy_memo, memo_.layout(),
                               static_cast<int>(memo_.block_size())) ||
             !fresh.open(names.copy_memo, memo_.layout(), platform::Access::ReadWrite,
                         platform::Share::DenyAll))) {
            const auto error = platform::last_file_error().win32;
            drop_copy();
            raise(kGenCreate, "Create error", names.copy_memo, "pack", error);
            return false;
        }
        platform::File copy;
        if (!copy.open(names.copy, platform::Access::ReadWrite, platform::Share::DenyAll,
                       platform::Disposition::CreateAlways, platform::NameCase::AsGiven)) {
            const auto error = platform::last_file_error().win32;
            drop_copy();
            raise(kGenCreate, "Create error", names.copy, "pack", error);
            return false;
        }
        // The header as it stands (every descriptor, hidden ones too), then the kept records.
        std::string header = read_at(file_.fd(), 0, header_.header_length);
        std::string record, chunk;
        std::uint64_t at = header_.header_length;
        const long count = static_cast<long>(header_.record_count);
        for (reading = 1; reading <= count; ++reading) {
            read_record(reading, record);
            if (record[0] == kDeletedFlag) continue;
            if (fresh.is_open()) {
                for (const FieldLayout& field : header_.fields) {
                    if (!is_memo_type(field.spec.type)) continue;
                    const std::uint32_t block = memo_block(field, record.data());
                    if (block == 0) continue;
                    std::string text;
                    try {
                        text = memo_.read(block);
                    } catch (const Corrupt& fault) {
                        throw Corrupt("field " + field.spec.name + ": " + fault.what());
                    }
                    int error = 0;
                    const std::uint32_t moved = fresh.write(text, false, &error);
                    if (error != 0) throw WriteFailed(error);
                    set_memo_block(field, moved, record.data());
                }
            }
            ++kept;
            chunk += record;
            if (chunk.size() >= (1u << 20)) {
                if (const int error = write_at(copy.fd(), at, chunk); error != 0)
                    throw WriteFailed(error);
                at += chunk.size();
                chunk.clear();
            }
        }
        reading = 0;
        chunk += kEofMark;
        if (const int error = write_at(copy.fd(), at, chunk); error != 0) throw WriteFailed(error);
        const util::LocalDateTime now = util::local_now();
        header.replace(
            1, 7,
            count_and_date_bytes(static_cast<std::uint32_t>(kept), now.year,
                                 static_cast<int>(now.month), static_cast<int>(now.day)));
        if (const int error = write_at(copy.fd(), 0, header); error != 0) throw WriteFailed(error);
        fresh.close();
        if (!copy.flush() || (!memo_name.empty() && !sync_file(names.copy_memo)))
            throw WriteFailed(platform::last_file_error().posix);
        copy.close();
    } catch (const Corrupt& fault) {
        drop_copy();
        raise_corrupt(name_, "pack",
                      std::string("the pack stopped and changed nothing: ") +
                          (reading > 0 ? "record " + std::to_string(reading) + ", " : "") +
                          fault.what());
        return false;
    } catch (const WriteFailed& failure) {
        drop_copy();
        return write_failed(failure.error(), "pack");
    }
    pack_step_reached(PackStep::CopyWritten);
    // The replacement: decided once the copy has its ready name.
    try {
        if (orders_) orders_->mark_rebuild();
    } catch (const Corrupt& fault) {
        drop_copy();
        raise_corrupt(name_, "pack", fault.what());
        return false;
    } catch (const WriteFailed& failure) {
        drop_copy();
        return write_failed(failure.error(), "pack");
    }
    if (!memo_name.empty()) {
        if (!replace_file(names.copy_memo, names.ready_memo)) {
            drop_copy();
            return write_failed(errno, "pack");
        }
        pack_step_reached(PackStep::MemoReady);
    }
    // The packed table is held before it takes the table's name, so that no other open slips in.
    platform::File packed;
    if (!replace_file(names.copy, names.ready) ||
        !packed.open(names.ready, platform::Access::ReadWrite, platform::Share::DenyAll,
                     platform::Disposition::OpenExisting, platform::NameCase::AsGiven)) {
        ::unlink(names.ready_memo.c_str());
        drop_copy();
        return write_failed(errno, "pack");
    }
    pack_step_reached(PackStep::TableReady);
    if (!memo_name.empty()) {
        memo_.close();
        replace_file(names.ready_memo, memo_name);
        pack_step_reached(PackStep::MemoReplaced);
    }
    replace_file(names.ready, name_);
    pack_step_reached(PackStep::TableReplaced);
    file_ = std::move(packed);
    header_.record_count = static_cast<std::uint32_t>(kept);
    if (!memo_name.empty() && !memo_.open(memo_name, memo_.layout(), platform::Access::ReadWrite,
                                          platform::Share::DenyAll)) {
        raise(kGenOpen, "Open error", memo_name, "pack", platform::last_file_error().win32);
    }
    try {
        if (orders_) orders_->rebuild_all();
    } catch (const Corrupt& fault) {
        raise_corrupt(name_, "pack", fault.what());
        return false;
    } catch (const WriteFailed& failure) {
        return write_failed(failure.error(), "pack");
    }
    go_top();
    return true;
}

bool Table::ensure_end_mark() {
    if (!writable("end mark")) return false;
    const std::uint64_t end =
        header_.header_length +
        static_cast<std::uint64_t>(header_.record_count) * header_.record_length;
    char mark = 0;
    if (read_exact(file_.fd(), end, &mark, 1) && mark == kEofMark) return true;
    if (const int error = write_at(file_.fd(), end, std::string(1, kEofMark)); error != 0)
        return write_failed(error, "end mark");
    return true;
}

BuildConditions Table::take_build_conditions() {
    BuildConditions taken = std::move(build_conditions_);
    build_conditions_ = {};
    return taken;
}

}  // namespace kv::db
