// Appends that leave nothing behind when they fail: a record filled before it is written, and
// the way back for one whose count or keys could not be written.
#include <unistd.h>

#include <cerrno>

#include "db/db_errors.h"
#include "db/dbf_table.h"
#include "db/disk_io.h"
#include "db/order_list.h"
#include "util/wall_clock.h"

namespace kv::db {

int Table::cut_back(std::uint64_t offset) {
    const int fd = file_.fd();
    std::string count(4, '\0');
    for (int i = 0; i < 4; ++i) count[i] = static_cast<char>(header_.record_count >> (8 * i));
    int error = write_at(fd, 4, count);
    if (error == 0) error = ::ftruncate(fd, static_cast<off_t>(offset)) == 0 ? 0 : errno;
    if (error == 0) error = write_at(fd, offset, std::string(1, kEofMark));
    return error;
}

// The new record is no longer current nor locked; the table stands at its end.
void Table::abandon_append(long recno) {
    if (locked_.erase(recno) != 0 && shared_ && !file_locked_)
        db::unlock(file_.fd(), kRecordLockBase + static_cast<std::uint64_t>(recno), 1);
    dirty_ = false;
    keys_pending_ = false;
    pending_memos_.clear();
    set_eof();
}

// The record's keys could not all be written: the record goes back to what it was on disk, and
// then its keys, which clears the bags' marks. A failure here leaves the marks for the next open.
void Table::put_back_record(std::uint64_t offset) {
    record_ = stored_;
    if (write_at(file_.fd(), offset, stored_) == 0 && orders_) orders_->undo_failed_keys();
}

// Clears the marks of a change that was undone; a failure here leaves them for the next open.
void Table::unmark_orders() {
    try {
        if (orders_) orders_->tags_emptied();
    } catch (const Corrupt&) {
    } catch (const WriteFailed&) {
    }
}

bool Table::append_with(const std::function<bool()>& fill) {
    if (!writable("append") || !commit()) return false;
    const int fd = file_.fd();
    const bool need_lock = shared_ && !file_locked_;
    if (need_lock && !try_lock(fd, kAppendLockOffset, 1, true)) {
        raise(kGenAppendLock, "Append lock failed", name_, "append", 0, true);
        return false;
    }
    long recno = 0;
    bool counted = false;  // the header counts the record: a failure takes it back
    std::uint64_t offset = 0;
    auto fail = [&](int error, const std::string& file = {}) {
        if (recno != 0 && offset != 0) {
            const int cut = cut_back(offset);
            // The bags follow only once the table is as it was.
            if (counted && cut == 0 && orders_) orders_->undo_failed_keys();
        }
        if (recno != 0) abandon_append(recno);
        if (need_lock) db::unlock(fd, kAppendLockOffset, 1);
        return error == 0 ? false : write_failed(error, "append", file);
    };
    try {
        refresh_count();
        recno = static_cast<long>(header_.record_count) + 1;
        offset =
            header_.header_length + static_cast<std::uint64_t>(recno - 1) * header_.record_length;
        if (shared_ && !file_locked_) {
            for (long held : locked_)
                db::unlock(fd, kRecordLockBase + static_cast<std::uint64_t>(held), 1);
            locked_.clear();
            try_lock(fd, kRecordLockBase + static_cast<std::uint64_t>(recno), 1, true);
        }
        locked_.insert(recno);
        record_.assign(header_.record_length, ' ');
        for (const FieldLayout& field : header_.fields) blank_field(field, record_.data());
        stored_ = record_;
        pending_memos_.clear();
        recno_ = recno;
        eof_ = bof_ = found_ = false;
        keys_pending_ = false;
        const std::uint64_t end = offset;
        offset = 0;  // nothing to cut back until the record is written
        if (!fill()) return fail(0);
        for (const auto& [slot, text] : pending_memos_) {
            int error = 0;
            const std::uint32_t block = memo_.write(text, shared_, &error);
            if (error != 0) return fail(error, memo_.name());
            set_memo_block(header_.fields[static_cast<std::size_t>(slot)], block, record_.data());
        }
        pending_memos_.clear();
        offset = end;
        const std::string bytes = record_ + kEofMark;
        int error = reserve(fd, offset, bytes.size());
        if (error == 0) error = write_at(fd, offset, bytes);
        if (error != 0) return fail(error);
        const util::LocalDateTime now = util::local_now();
        counted = true;
        error = write_at(fd, 1,
                         count_and_date_bytes(static_cast<std::uint32_t>(recno), now.year,
                                              static_cast<int>(now.month),
                                              static_cast<int>(now.day), header_.version));
        if (error != 0) return fail(error);
        if (orders_) orders_->record_written(recno, nullptr, record_);
    } catch (const Corrupt& fault) {
        fail(0);
        raise_corrupt(name_, "append", fault.what());
        return false;
    } catch (const WriteFailed& failure) {
        return fail(failure.error());
    } catch (...) {
        fail(0);  // an error handler that throws, from fill or from a raise
        throw;
    }
    header_.record_count = static_cast<std::uint32_t>(recno);
    date_written_ = true;
    stored_ = record_;
    dirty_ = false;
    if (need_lock) db::unlock(fd, kAppendLockOffset, 1);
    return true;
}

}  // namespace kv::db
