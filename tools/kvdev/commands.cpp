#include "tools/kvdev/commands.h"

namespace kv::dev {
namespace {

std::uint8_t read_status(DeviceLink& link, Timeout timeout) {
    auto status = link.read_byte(timeout);
    if (!status) throw ProtocolError("no answer from KV32");
    return *status;
}

std::string read_exactly(DeviceLink& link, std::size_t n, Timeout timeout) {
    std::string bytes = link.read_bytes(n, timeout);
    if (bytes.size() != n) throw ProtocolError("KV32 stopped in the middle of an answer");
    return bytes;
}

std::uint16_t uint16_at(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8);
}

std::string with_slash(const std::string& name) {
    return !name.empty() && name.back() == '/' ? name : name + "/";
}

}  // namespace

std::uint8_t save(DeviceLink& link, const std::string& name, const std::string& data,
                  const FileHeader& header, std::optional<std::uint16_t> length,
                  Patience patience) {
    const bool folder = !name.empty() && name.back() == '/';
    const std::uint16_t announced =
        length ? *length : static_cast<std::uint16_t>(folder ? 1 : data.size());
    link.send_command('S');
    link.send_byte(header.type);
    link.send_uint16(header.param1);
    link.send_uint16(announced);
    link.send_uint16(header.param2);
    link.send_string(name);
    const std::uint8_t status = read_status(link, patience.reply);
    if (status == kOk) link.send_raw(folder ? std::string(1, '\0') : data);
    return status;
}

LoadResult load(DeviceLink& link, const std::string& name, Patience patience) {
    link.send_command('L');
    link.send_string(name);
    LoadResult r;
    r.status = read_status(link, patience.reply);
    if (r.status != kOk) return r;
    const std::string header = read_exactly(link, 7, patience.reply);
    r.type = static_cast<std::uint8_t>(header[0]);
    r.param1 = uint16_at(header, 1);
    r.length = uint16_at(header, 3);
    r.param2 = uint16_at(header, 5);
    // A file that lost bytes when it was saved sends fewer than its header announces.
    r.data = link.read_bytes(r.length, patience.data_idle);
    return r;
}

std::uint8_t erase(DeviceLink& link, const std::string& pattern, Patience patience) {
    link.send_command('E');
    link.send_string(pattern);
    return read_status(link, patience.reply);
}

Catalogue catalogue(DeviceLink& link, const std::string& pattern, Patience patience) {
    link.send_command('C');
    link.send_string(pattern);
    if (read_status(link, patience.reply) != kOk) throw ProtocolError("catalogue refused");
    Catalogue c;
    for (;;) {
        const std::uint8_t first = read_status(link, patience.reply);
        if (first == 0 && c.lines.empty())  // even an empty folder has its summary lines
            throw ProtocolError("the catalogue came without a line; the line is out of step");
        if (first == 0) return c;  // a line never begins with 0x00: the end of the catalogue
        std::string line(1, static_cast<char>(first));
        line += read_exactly(link, 31, patience.reply);
        c.lines.push_back(line);
        link.send_byte(0x06);  // acknowledgement: any byte will do
    }
}

std::uint8_t make_folder(DeviceLink& link, const std::string& name, Patience patience) {
    return save(link, with_slash(name), std::string(1, '\0'), {}, std::nullopt, patience);
}

std::uint8_t change_folder(DeviceLink& link, const std::string& name, Patience patience) {
    return load(link, with_slash(name), patience).status;
}

std::uint8_t remove_folder(DeviceLink& link, const std::string& name, Patience patience) {
    return erase(link, with_slash(name), patience);
}

std::string status_text(std::uint8_t status) {
    switch (status) {
        case kOk:
            return "done";
        case kRefused:
            return "refused";
        case kBadFolderLength:
            return "refused: a folder request must announce 1 data byte";
        default:
            return "unknown status " + std::to_string(status);
    }
}

}  // namespace kv::dev
