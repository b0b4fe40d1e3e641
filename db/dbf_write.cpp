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
        clear_null_flag(header_, layout, record_.data());
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
    clear_null_flag(header_, layout, record_.data());
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
    clear_null_flag(header_, layout, record_.data());
    dirty_ = true;
    return true;
}

void Table::mark_deleted(bool deleted) {
    if (!may_change()) return;
    record_[0] = deleted ? kDeletedFlag : kLiveFlag;
    dirty_ = true;
}

bool Table::write_failed(int error, const char* operation, const std::string& file) {
    const bool full = error == ENOSPC || error == EDQUOT || error == EFBIG;
    raise(kGenWrite, full ? "Disk full" : "Write error", file.empty() ? name_ : file, operation,
          full ? kDiskFullOsCode : platform::win_error::GEN_FAILURE, false,
          full ? std::optional<long>(kSubDiskFull) : std::nullopt);
    return false;
}

bool Table::update_orders(const char* operation, const std::function<void(OrderList&)>& work) {
    if (!orders_) return true;
    try {
        work(*orders_);
        return true;
    } catch (const Corrupt& fault) {
        raise_corrupt(name_, operation, fault.what());
        return false;
    } catch (const WriteFailed& failure) {
        return write_failed(failure.error(), operation);
    }
}

void Table::write_header_date() {
    if (date_written_) return;
    const util::LocalDateTime now = util::local_now();
    std::string bytes = count_and_date_bytes(0, now.year, static_cast<int>(now.month),
                                             static_cast<int>(now.day), header_.version);
    write_at(file_.fd(), 1, bytes.data(), 3);
    header_.year = now.year;
    header_.month = static_cast<int>(now.month);
    header_.day = static_cast<int>(now.day);
    date_written_ = true;
}

bool Table::commit() {
    if (!dirty_) return write_new_keys();
    bool written = false;  // the record is on disk: a failure after puts it back
    const std::uint64_t offset =
        header_.header_length + static_cast<std::uint64_t>(recno_ - 1) * header_.record_length;
    try {
        for (const auto& [slot, text] : pending_memos_) {
            const FieldLayout& layout = header_.fields[static_cast<std::size_t>(slot)];
            int error = 0;
            const std::uint32_t block = memo_.write(text, shared_, &error);
            if (error != 0) {
                dirty_ = false;
                pending_memos_.clear();
                record_ = stored_;
                return write_failed(error, "memo write", memo_.name());
            }
            set_memo_block(layout, block, record_.data());
        }
        pending_memos_.clear();
        if (orders_) orders_->about_to_write(recno_, keys_pending_ ? nullptr : &stored_, record_);
        if (const int error = write_at(file_.fd(), offset, record_); error != 0) {
            if (orders_) orders_->write_abandoned();
            dirty_ = false;
            record_ = stored_;
            return write_failed(error, "write");
        }
        written = true;
        if (orders_) orders_->record_written(recno_, keys_pending_ ? nullptr : &stored_, record_);
        write_header_date();
        dirty_ = false;
        stored_ = record_;
        keys_pending_ = false;
        return true;
    } catch (const Corrupt& fault) {
        if (orders_) orders_->write_abandoned();
        dirty_ = false;
        if (written) put_back_record(offset);
        raise_corrupt(name_, "write", fault.what());
        return false;
    } catch (const WriteFailed& failure) {
        if (orders_) orders_->write_abandoned();
        dirty_ = false;
        if (written) put_back_record(offset);
        return write_failed(failure.error(), "write");
    }
}

bool Table::write_new_keys() {
    if (!keys_pending_) return true;
    keys_pending_ = false;
    if (update_orders("write",
                      [&](OrderList& orders) { orders.record_written(recno_, nullptr, stored_); }))
        return true;
    if (orders_) orders_->undo_failed_keys();
    return false;
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
        std::string record;
        blank_record(header_, record);
        const std::uint64_t offset =
            header_.header_length + static_cast<std::uint64_t>(recno - 1) * header_.record_length;
        std::string bytes = record + kEofMark;
        int error = reserve(fd, offset, bytes.size());
        if (error == 0) error = write_at(fd, offset, bytes);
        if (error != 0) {
            cut_back(offset);
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
            const std::string header_bytes = count_and_date_bytes(
                static_cast<std::uint32_t>(recno), now.year, static_cast<int>(now.month),
                static_cast<int>(now.day), header_.version);
            if (const int header_error = write_at(fd, 1, header_bytes); header_error != 0) {
                cut_back(offset);
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
// meanwhile), the count becomes 0, the records are cut off, the end mark is written, the memo
// file starts again, and the marks are cleared.
bool Table::zap() {
    if (!writable("zap")) return false;
    if (shared_ && !file_locked_) {
        raise(kGenNotLocked, "Zap needs exclusive use or the file lock", name_, "zap");
        return false;
    }
    dirty_ = false;
    keys_pending_ = false;
    pending_memos_.clear();
    // The fresh memo file comes first, on disk under a temporary name: a failure to make it
    // changes nothing.
    const std::string fresh = pack_names(name_).copy_memo;
    if (memo_.is_open() &&
        !MemoFile::create(fresh, memo_.layout(), static_cast<int>(memo_.block_size()))) {
        const int error = platform::last_file_error().posix;
        ::unlink(fresh.c_str());
        return write_failed(error, "zap");
    }
    if (!update_orders("zap", [](OrderList& orders) { orders.empty_all(); })) {
        ::unlink(fresh.c_str());
        update_orders("zap", [](OrderList& orders) { orders.rebuild_all(); });
        return false;
    }
    const int fd = file_.fd();
    const std::uint64_t end = header_.header_length;
    const util::LocalDateTime now = util::local_now();
    int error = write_at(fd, 1,
                         count_and_date_bytes(0, now.year, static_cast<int>(now.month),
                                              static_cast<int>(now.day), header_.version));
    if (error != 0) {
        // The records are all there still: their tags are built again.
        ::unlink(fresh.c_str());
        update_orders("zap", [](OrderList& orders) { orders.rebuild_all(); });
        return write_failed(error, "zap");
    }
    // The records are cut off before the end mark goes in: a reader that reads on to the end
    // mark rather than to the count must never find the old records after a count of 0.
    if (::ftruncate(fd, static_cast<off_t>(end)) != 0) {
        error = errno;
        write_at(fd, 1,
                 count_and_date_bytes(header_.record_count, now.year, static_cast<int>(now.month),
                                      static_cast<int>(now.day), header_.version));
        ::unlink(fresh.c_str());
        update_orders("zap", [](OrderList& orders) { orders.rebuild_all(); });
        return write_failed(error, "zap");
    }
    header_.record_count = 0;
    error = write_at(fd, end, std::string(1, kEofMark));
    if (memo_.is_open()) {
        const std::string memo_name = memo_.name();
        const MemoLayout layout = memo_.layout();
        memo_.close();
        // A fresh memo file put in place by a rename: never a half-written one.
        bool renamed = false;
        if (!replace_file(fresh, memo_name, &renamed) && error == 0) error = errno;
        if (!renamed) ::unlink(fresh.c_str());
        if (!memo_.open(memo_name, layout, platform::Access::ReadWrite,
                        shared_ ? platform::Share::DenyNone : platform::Share::DenyAll) &&
            error == 0)
            error = platform::last_file_error().posix;
    }
    const bool emptied = update_orders("zap", [](OrderList& orders) { orders.tags_emptied(); });
    go_top();
    if (error != 0) return write_failed(error, "zap");
    return emptied;
}

// Through copies put in place by renames of the table alone, in the order of pack_swap.h, so that
// a kill at any moment leaves a table that agrees with its memo file for every reader, and a
// failure before the first rename leaves the table, its memo file and its bags untouched.
bool Table::pack() {
    if (!writable("pack")) return false;
    if (shared_) {
        raise(kGenNotLocked, "Pack needs exclusive use", name_, "pack");
        return false;
    }
    if (!commit()) return false;
    const PackNames names = pack_names(name_);
    auto drop_copies = [&] {
        ::unlink(names.copy.c_str());
        ::unlink(names.interim.c_str());
    };
    // Each text's block in the memo file, in the packed memo file, and after the old end.
    struct Move {
        std::uint32_t from, packed;
    };
    std::vector<Move> moves;
    std::uint64_t packed_end = memo_.is_open() ? memo_.first_block() : 0;
    // The memo file's size and next free block before the pack, put back on a failure.
    std::uint64_t memo_bytes = 0;
    std::string memo_head;
    auto restore_memo = [&] {
        if (memo_bytes == 0 || ::ftruncate(memo_.fd(), static_cast<off_t>(memo_bytes)) != 0) return;
        write_at(memo_.fd(), 0, memo_head);
    };
    std::uint64_t shift = 0;  // interim block = packed block + shift
    bool moving = false;      // some text changes its block
    long kept = 0;
    long reading = 0;
    platform::File packed, interim;
    auto create = [&](platform::File& file, const std::string& name) {
        if (file.open(name, platform::Access::ReadWrite, platform::Share::DenyAll,
                      platform::Disposition::CreateAlways, platform::NameCase::AsGiven))
            return true;
        const auto error = platform::last_file_error().win32;
        drop_copies();
        raise(kGenCreate, "Create error", name, "pack", error);
        return false;
    };
    try {
        drop_copies();
        if (!create(packed, names.copy)) return false;
        // The packed copy: the header as it stands (every descriptor, hidden ones too), then
        // the kept records, each text given the next blocks of the packed memo file. Nothing is
        // written anywhere else yet, so a pointer that leads nowhere stops the pack here.
        std::string header = read_at(file_.fd(), 0, header_.header_length);
        std::string record, chunk;
        std::uint64_t at = header.size();
        auto put_chunk = [&](platform::File& file, bool last) {
            if (!last && chunk.size() < (1u << 20)) return;
            if (const int error = write_at(file.fd(), at, chunk); error != 0)
                throw WriteFailed(error);
            at += chunk.size();
            chunk.clear();
        };
        const long count = static_cast<long>(header_.record_count);
        for (reading = 1; reading <= count; ++reading) {
            read_record(reading, record);
            if (record[0] == kDeletedFlag) continue;
            for (const FieldLayout& field : header_.fields) {
                if (!memo_.is_open() || !is_memo_type(field.spec.type)) continue;
                const std::uint32_t block = memo_block(field, record.data());
                if (block == 0) continue;
                std::string text;
                try {
                    text = memo_.read(block);
                } catch (const Corrupt& fault) {
                    throw Corrupt("field " + field.spec.name + ": " + fault.what());
                }
                moves.push_back({block, static_cast<std::uint32_t>(packed_end)});
                moving = moving || block != packed_end;
                set_memo_block(field, static_cast<std::uint32_t>(packed_end), record.data());
                packed_end += memo_.blocks_for(text.size());
                if (packed_end > 0xFFFFFFFFu) throw WriteFailed(EFBIG);
            }
            ++kept;
            chunk += record;
            put_chunk(packed, false);
        }
        reading = 0;
        chunk += kEofMark;
        put_chunk(packed, true);
        const util::LocalDateTime now = util::local_now();
        header.replace(1, 7,
                       count_and_date_bytes(static_cast<std::uint32_t>(kept), now.year,
                                            static_cast<int>(now.month), static_cast<int>(now.day),
                                            header_.version));
        if (const int error = write_at(packed.fd(), 0, header); error != 0)
            throw WriteFailed(error);
        if (!packed.flush()) throw WriteFailed(platform::last_file_error().posix);
        if (moving) {
            // The texts after the memo file's end (and after the packed blocks), and the interim
            // copy: the packed one with its pointers moved there.
            memo_head = read_at(memo_.fd(), 0, 4);
            memo_bytes = file_size(memo_.fd());
            const std::uint64_t after = std::max(memo_.end_block(), packed_end);
            shift = after - memo_.first_block();
            if (packed_end + shift > 0xFFFFFFFFu) throw WriteFailed(EFBIG);
            for (const Move& move : moves) {
                if (const int error = memo_.put(static_cast<std::uint32_t>(move.packed + shift),
                                                memo_.read(move.from));
                    error != 0)
                    throw WriteFailed(error);
            }
            if (const int error =
                    memo_.set_next_free(static_cast<std::uint32_t>(packed_end + shift));
                error != 0)
                throw WriteFailed(error);
            if (!memo_.sync()) throw WriteFailed(platform::last_file_error().posix);
            if (!create(interim, names.interim)) {
                restore_memo();
                return false;
            }
            const std::uint64_t length = header_.record_length;
            for (std::uint64_t offset = header.size(); offset < at; offset += chunk.size()) {
                chunk = read_at(packed.fd(), offset,
                                static_cast<std::size_t>(std::min<std::uint64_t>(
                                    at - offset, (1u << 20) / length * length)));
                if (chunk.empty()) throw WriteFailed(EIO);
                for (std::size_t r = 0; r + length <= chunk.size(); r += length) {
                    for (const FieldLayout& field : header_.fields) {
                        if (!is_memo_type(field.spec.type)) continue;
                        if (const std::uint32_t block = memo_block(field, chunk.data() + r))
                            set_memo_block(field, static_cast<std::uint32_t>(block + shift),
                                           chunk.data() + r);
                    }
                }
                if (const int error = write_at(interim.fd(), offset, chunk); error != 0)
                    throw WriteFailed(error);
            }
            if (const int error = write_at(interim.fd(), 0, header); error != 0)
                throw WriteFailed(error);
            if (!interim.flush()) throw WriteFailed(platform::last_file_error().posix);
        }
        // The bags are marked until they are built again over the packed records.
        if (orders_) orders_->mark_rebuild();
    } catch (const Corrupt& fault) {
        drop_copies();
        restore_memo();
        unmark_orders();
        raise_corrupt(name_, "pack",
                      std::string("the pack stopped and changed nothing: ") +
                          (reading > 0 ? "record " + std::to_string(reading) + ", " : "") +
                          fault.what());
        return false;
    } catch (const WriteFailed& failure) {
        drop_copies();
        restore_memo();
        unmark_orders();
        return write_failed(failure.error(), "pack");
    }
    pack_step_reached(PackStep::CopyWritten);
    // From here on the table changes by renames only; each copy is held before it takes the
    // table's name, so that no other open slips in.
    int error = 0;
    bool renamed = false;
    // Before the first rename nothing has changed: a failure there leaves the table, its memo
    // file and its bags as they were, the bags unmarked.
    auto unchanged = [&](int failure) {
        drop_copies();
        restore_memo();
        unmark_orders();
        return write_failed(failure, "pack");
    };
    if (moving) {
        if (!replace_file(names.interim, name_, &renamed)) {
            if (!renamed) return unchanged(errno);
            error = errno;  // in place, but perhaps not yet on disk
        }
        file_ = std::move(interim);
        pack_step_reached(PackStep::InterimReplaced);
        // The packed blocks lie below the interim ones, which the interim copy alone uses.
        try {
            for (const Move& move : moves) {
                if (error != 0) break;
                error = memo_.put(move.packed,
                                  memo_.read(static_cast<std::uint32_t>(move.packed + shift)));
            }
        } catch (const Corrupt&) {
            error = EIO;
        }
        if (error == 0 && !memo_.sync()) error = platform::last_file_error().posix;
        if (error == 0) pack_step_reached(PackStep::MemoPacked);
    }
    if (error == 0) {
        if (!replace_file(names.copy, name_, &renamed)) {
            if (!renamed && !moving) return unchanged(errno);
            error = errno;
        }
        if (renamed) {
            file_ = std::move(packed);
            pack_step_reached(PackStep::TableReplaced);
            if (memo_.is_open()) {
                // Cut after the packed blocks: what lies beyond is no record's any more.
                int cut = memo_.set_next_free(static_cast<std::uint32_t>(packed_end));
                if (cut == 0) cut = memo_.cut(packed_end);
                if (cut == 0 && !memo_.sync()) cut = platform::last_file_error().posix;
                if (cut == 0) pack_step_reached(PackStep::MemoCut);
                if (error == 0) error = cut;
            }
        }
    }
    drop_copies();
    header_.record_count = static_cast<std::uint32_t>(kept);
    if (!update_orders("pack", [](OrderList& orders) { orders.rebuild_all(); })) return false;
    go_top();
    // The records are packed even so (the interim copy is in place); the memos stay after the
    // memo file's old end until the next pack.
    if (error != 0) return write_failed(error, "pack");
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
