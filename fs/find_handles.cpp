// FINDFIRSTFILE, FINDNEXTFILE and FINDCLOSE over the platform's directory search.
#include <map>
#include <vector>

#include "fs/directory.h"
#include "fs/find.h"
#include "platform/files.h"

namespace kv::fs {

namespace pf = kv::platform;

namespace {

struct Search {
    std::vector<pf::DirEntry> entries;
    std::size_t next = 0;
};

// Open searches by handle; handles count up from 1 and are never reused in a run.
std::map<std::int32_t, Search>& searches() {
    static std::map<std::int32_t, Search> table;
    return table;
}

std::int32_t last_handle = 0;

constexpr std::uint32_t IO_REPARSE_TAG_SYMLINK = 0xA000000C;

void put_u32(std::string& record, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) record[offset + i] = static_cast<char>(value >> (8 * i));
}

void put_u64(std::string& record, std::size_t offset, std::uint64_t value) {
    put_u32(record, offset, static_cast<std::uint32_t>(value));
    put_u32(record, offset + 4, static_cast<std::uint32_t>(value >> 32));
}

void put_text(std::string& record, std::size_t offset, std::size_t size, const std::string& text) {
    std::string field = text.substr(0, size - 1);
    field.resize(size, '\0');
    record.replace(offset, size, field);
}

// Writes an entry into the first 320 bytes of the buffer; the bytes beyond are left alone.
void write_record(std::string& buffer, const pf::DirEntry& entry) {
    std::string record(find_record::SIZE, '\0');
    put_u32(record, find_record::FILE_ATTR, entry.attributes);
    put_u64(record, find_record::CREAT_TIME, entry.times.creation);
    put_u64(record, find_record::LAST_A_TIME, entry.times.last_access);
    put_u64(record, find_record::LAST_W_TIME, entry.times.last_write);
    put_u32(record, find_record::FILE_SIZE_H, static_cast<std::uint32_t>(entry.size >> 32));
    put_u32(record, find_record::FILE_SIZE_L, static_cast<std::uint32_t>(entry.size));
    if (entry.attributes & pf::ATTR_REPARSE_POINT) {
        put_u32(record, find_record::RESERVED0, IO_REPARSE_TAG_SYMLINK);
    }
    put_text(record, find_record::FILE_NAME, find_record::FILE_NAME_SIZE, entry.name);
    buffer.replace(0, find_record::SIZE, record);
}

}  // namespace

std::int32_t FINDFIRSTFILE(const OptPath& pattern, std::string& buffer) {
    if (!pattern || buffer.size() < find_record::SIZE) return -1;
    Search search;
    search.entries = pf::find_entries(*pattern, {.folders = true, .hidden = true, .system = true});
    if (search.entries.empty()) return -1;
    write_record(buffer, search.entries.front());
    search.next = 1;
    std::int32_t handle = ++last_handle;
    searches().emplace(handle, std::move(search));
    return handle;
}

bool FINDNEXTFILE(std::int32_t handle, std::string& buffer) {
    auto it = searches().find(handle);
    if (it == searches().end() || buffer.size() < find_record::SIZE) return false;
    Search& search = it->second;
    if (search.next >= search.entries.size()) return false;
    write_record(buffer, search.entries[search.next++]);
    return true;
}

bool FINDCLOSE(std::int32_t handle) {
    return searches().erase(handle) == 1;
}

}  // namespace kv::fs
