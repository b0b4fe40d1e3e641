#pragma once
// One open table: its header, the current record and its buffer, navigation in natural order or
// through the current order, field values, appends, deletion, packing and the locks of the lock
// scheme (see disk_io.h). Every file read is checked: a damaged file raises the corruption error
// record instead of being trusted.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "db/dbf_layout.h"
#include "db/language.h"
#include "db/memo_file.h"
#include "platform/files.h"

namespace kv::db {

class OrderList;

// How a table is opened: shared or exclusive, read-only or not, and its alias.
struct OpenOptions {
    bool shared = false;
    bool read_only = false;
    std::string alias;  // empty: the file's name without folder and extension, upper case
};

// How a new table's memo file is made: its layout, extension and block size.
struct CreateOptions {
    MemoLayout memo_layout = MemoLayout::Blocks;
    std::string memo_extension;  // empty: the run-time setting's (".DBT")
    int memo_block_size = kDefaultMemoBlockSize;
    std::uint8_t code_page_mark = kCodePage1252;  // header byte 29 (code_pages.h)
};

// What a build of a new order honours, set just before it and used once.
struct BuildConditions {
    std::string for_text;                // stored as the order's condition
    std::function<bool()> for_function;  // decides instead of for_text during the build
    bool current_order_only = false;     // only the records of the current order take part
    bool descending = false;
};

// One open table with its current record (see the top of this file).
class Table : public FieldBinder, public RecordView {
  public:
    ~Table() override;
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // Opens a table (".DBF" is added to a name without extension) with its memo file. On failure
    // the error record is raised (21 with the system code; 32 for a sharing violation, which may
    // be answered quietly) and nullptr comes back when the handler returns.
    static std::unique_ptr<Table> open(const std::string& name, const OpenOptions& options = {});
    // Creates a new table, replacing any file of that name; raises the error record and returns
    // false on failure (a bad field list, a file that cannot be written).
    static bool create(const std::string& name, std::vector<FieldSpec> fields,
                       const CreateOptions& options = {});
    // Flushes the current record and closes the table with its memo file and order bags; false
    // when the record could not be written or a file reported an error on closing (the error
    // record has been raised).
    bool close();

    // Structure.
    const std::string& file_name() const { return name_; }
    // The table's alias in its work area.
    const std::string& alias() const { return alias_; }
    // Gives the table another alias.
    void set_alias(std::string alias) { alias_ = std::move(alias); }
    // True when the table is open for shared use.
    bool shared() const { return shared_; }
    // True when the table is open for reading only.
    bool read_only() const { return read_only_; }
    // The number of fields.
    int field_count() const { return static_cast<int>(header_.fields.size()); }
    // The name, type, width and decimals of a field (from 0).
    const FieldSpec& field_spec(int index) const {
        return header_.fields.at(static_cast<std::size_t>(index)).spec;
    }
    // The index (from 0) of the field with that name, ignoring case; none when there is none.
    std::optional<int> field_index(std::string_view name) const;
    // The table's header as last read.
    const DbfHeader& header() const { return header_; }
    // The memo file; nullptr when the table has none.
    MemoFile* memo() { return memo_.is_open() ? &memo_ : nullptr; }

    // Position.
    long record_number() const override { return recno_; }
    long record_count();  // re-read from the header of a shared table
    // True past the last record.
    bool eof() const { return eof_; }
    // True after a move before the first record.
    bool bof() const { return bof_; }
    // True when the last seek matched.
    bool found() const { return found_; }
    // True when the current record is marked deleted.
    bool deleted() const override;
    // Moves to the first record (of the current order, when there is one).
    void go_top();
    // Moves to the last record (of the current order, when there is one).
    void go_bottom();
    // Moves to a record by its number; past the last one is end of file.
    void go_to(long recno);
    // Moves forward (or back, for a negative count) in the current order or in natural order.
    void skip(long count = 1);
    // Searches the current order; found() tells the result. Soft: a miss stays on the next key
    // instead of end of file. Last: the last of the matching keys.
    bool seek(const Value& key, bool soft = false, bool last = false);

    // Field values of the current record (blank values at end of file).
    Value get(int index) const;
    // A field's value by name; an unknown name raises an error record and gives Nil.
    Value get(std::string_view name) const;
    // Changes a field of the current record; raises an error record and returns false when the
    // value does not fit or the record may not be changed (read-only, not locked when shared).
    bool put(int index, const Value& value);
    // Changes a field by name, as put by index does.
    bool put(std::string_view name, const Value& value);
    // Changes an N or F field to a number given as decimal text, every digit kept (see
    // decimal_field_text); raises an error record and returns false as put does.
    bool put_decimal(int index, std::string_view text);
    // Appends a blank record, locks it and makes it current; false when the append lock or the
    // disk refused (the error record has been raised).
    bool append();
    // Appends a record whose values `fill` puts (on the locked new record, current meanwhile)
    // before anything is written. Under the append lock its memos and the record reach the disk
    // first, then the count, then its keys: no reader sees the record before its values, and a
    // failure anywhere takes it back, leaving the table, its memo file's texts and its bags as
    // they were. False when fill refused or the disk did (the error record has been raised).
    bool append_with(const std::function<bool()>& fill);
    // Marks the current record deleted (or live again); written with the record.
    void mark_deleted(bool deleted = true);
    // Writes the current record to disk (with its memos and its keys); false on a write error.
    bool commit();
    // Removes every record (exclusive use or file lock); the orders are emptied.
    bool zap();
    // Rewrites the table without its deleted records and the memo file without unused blocks,
    // then rebuilds every open order (exclusive use).
    bool pack();

    // Puts back the end-of-file mark after the last record when a process that died left it
    // missing (a zap cut short); true when the mark is there.
    bool ensure_end_mark();

    // Locks of a shared table; on an exclusive table every lock succeeds at once.
    bool lock_record(long recno = 0, bool release_others = true);
    // Takes the file lock of a shared table; false when another copy holds a lock.
    bool lock_file();
    void unlock(long recno = 0);  // 0: every lock
    // True while this copy holds the file lock.
    bool file_locked() const { return file_locked_; }
    // True while this copy holds the lock of that record.
    bool record_locked(long recno) const;
    // The numbers of the records this copy holds locked.
    std::vector<long> locked_records() const;

    // The orders: an empty list until index bags install theirs (index_orders.h).
    OrderList* orders() const { return orders_.get(); }
    // Puts the orders of the index bags in place (index_orders.h).
    void install_orders(std::unique_ptr<OrderList> orders);
    // Sets what the next build of an order honours.
    void set_build_conditions(BuildConditions conditions) {
        build_conditions_ = std::move(conditions);
    }
    // Takes the conditions set for a build, leaving the defaults behind.
    BuildConditions take_build_conditions();

    // FieldBinder and RecordView over the current record (for expressions).
    std::optional<int> bind(std::string_view alias, std::string_view name) const override;
    FieldShape shape(int slot) const override;
    Value field(int slot) const override { return get(slot); }

    // Expression evaluation over another record's bytes (used by the orders).
    Value value_in(int index, const char* record) const;
    // The current record's bytes as they stand in the buffer.
    const char* record_bytes() const { return record_.data(); }
    // The record's bytes as last read from or written to disk.
    const std::string& stored_bytes() const { return stored_; }
    // Reads a record's bytes without moving (for building orders); false past the end.
    bool read_record(long recno, std::string& bytes);
    // The table file's descriptor.
    int fd() const { return file_.fd(); }
    // Refreshes the header's count (shared tables); throws Corrupt.
    void refresh_count();
    // The record is hidden from navigation (deleted under the setting).
    bool hidden(const char* record) const;

  private:
    Table();
    static bool install_new_table(const std::string& target, const std::string& bytes,
                                  const std::string& memo_target, const CreateOptions& options);
    void load(long recno);
    void set_eof();
    void step(long direction);
    void go_end(long direction, const char* operation);
    long following(long direction);
    bool writable(const char* operation);
    bool write_record();
    bool write_new_keys();
    // Raises the write error record naming the file (the table's when none is given).
    bool write_failed(int error, const char* operation, const std::string& file = {});
    void put_back_record(std::uint64_t offset);
    void unmark_orders();
    // Ends the file at a new record's offset again, with the count read before it (the header
    // as it was) and the end mark; 0 or the errno.
    int cut_back(std::uint64_t offset);
    void abandon_append(long recno);
    // Runs `work` on the table's orders (when it has any); damage or a failed write there is
    // raised as the operation's error record, and answers false.
    bool update_orders(const char* operation, const std::function<void(OrderList&)>& work);
    void write_header_date();
    bool may_change();

    platform::File file_;
    std::string name_;
    std::string alias_;
    bool shared_ = false;
    bool read_only_ = false;
    DbfHeader header_;
    MemoFile memo_;
    std::string record_;  // current buffer
    std::string stored_;  // the current record as on disk
    std::vector<std::pair<int, std::string>> pending_memos_;
    bool dirty_ = false;
    bool keys_pending_ = false;  // an appended record's keys are not in the orders yet
    bool date_written_ = false;
    long recno_ = 1;
    bool eof_ = true, bof_ = false, found_ = false;
    bool file_locked_ = false;
    std::set<long> locked_;
    std::unique_ptr<OrderList> orders_;
    BuildConditions build_conditions_;
};

// Adds ".DBF" (or another extension) to a name that has none.
std::string with_extension(const std::string& name, const std::string& extension);

}  // namespace kv::db
