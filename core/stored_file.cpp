#include "core/stored_file.h"

#include <fcntl.h>
#include <unistd.h>

#include "core/protocol.h"
#include "core/served_folder.h"
#include "platform/files.h"

namespace kv::core {
namespace {

void put_uint16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

std::uint16_t get_uint16(const std::string& in, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(in[at]) |
                                      static_cast<unsigned char>(in[at + 1]) << 8);
}

// The first `count` bytes of a file opened for reading with exclusive access.
std::optional<std::string> read_exclusive(const std::string& name, std::size_t count) {
    platform::File file;
    if (served_components(name).empty()) {
        if (!file.open(name, platform::Access::Read, platform::Share::DenyAll,
                       platform::Disposition::OpenExisting))
            return std::nullopt;
    } else {
        platform::Fd opened = open_served_file(name, O_RDONLY | O_NONBLOCK);
        if (!file.adopt(opened.release(), platform::Access::Read, platform::Share::DenyAll))
            return std::nullopt;
    }
    return file.read(count);
}

}  // namespace

std::string encode_fields(const StoredHeader& h) {
    std::string out(1, static_cast<char>(h.type));
    put_uint16(out, h.param1);
    put_uint16(out, h.length);
    put_uint16(out, h.param2);
    return out;
}

std::string encode_header(const StoredHeader& h) {
    return std::string(kStoredFileMagic) + encode_fields(h);
}

std::optional<StoredHeader> decode_header(const std::string& bytes) {
    if (bytes.size() < kStoredHeaderSize || bytes.compare(0, 6, kStoredFileMagic) != 0)
        return std::nullopt;
    return StoredHeader{static_cast<std::uint8_t>(bytes[6]), get_uint16(bytes, 7),
                        get_uint16(bytes, 9), get_uint16(bytes, 11)};
}

bool ISKV(const std::string& name) {
    auto first = read_exclusive(name, kStoredFileMagic.size());
    return first && *first == kStoredFileMagic;
}

std::optional<StoredHeader> read_stored_header(const std::string& name) {
    auto first = read_exclusive(name, kStoredHeaderSize);
    return first ? decode_header(*first) : std::nullopt;
}

std::optional<StoredHeader> read_stored_header(int fd) {
    std::string first(kStoredHeaderSize, '\0');
    const ssize_t n = ::pread(fd, first.data(), first.size(), 0);
    if (n != static_cast<ssize_t>(first.size())) return std::nullopt;
    return decode_header(first);
}

}  // namespace kv::core
