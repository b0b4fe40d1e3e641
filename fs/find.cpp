#include "fs/find.h"

namespace kv::fs {

std::uint32_t record_u32(const std::string& record, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4 && offset + i < record.size(); ++i) {
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(record[offset + i]))
                 << (8 * i);
    }
    return value;
}

std::string record_bytes(const std::string& record, std::size_t offset, std::size_t size) {
    if (offset >= record.size()) return {};
    return record.substr(offset, size);
}

std::string record_text(const std::string& record, std::size_t offset, std::size_t size) {
    std::string text = record_bytes(record, offset, size);
    return text.substr(0, text.find('\0'));
}

std::uint32_t Win32FindData::nFileAttr() const {
    return record_u32(buffer_, find_record::FILE_ATTR);
}
std::string Win32FindData::cCreatTime() const {
    return record_bytes(buffer_, find_record::CREAT_TIME, 8);
}
std::string Win32FindData::cLastATime() const {
    return record_bytes(buffer_, find_record::LAST_A_TIME, 8);
}
std::string Win32FindData::cLastWTime() const {
    return record_bytes(buffer_, find_record::LAST_W_TIME, 8);
}
std::uint32_t Win32FindData::nFileSizeH() const {
    return record_u32(buffer_, find_record::FILE_SIZE_H);
}
std::uint32_t Win32FindData::nFileSizeL() const {
    return record_u32(buffer_, find_record::FILE_SIZE_L);
}
std::uint32_t Win32FindData::nReserved0() const {
    return record_u32(buffer_, find_record::RESERVED0);
}
std::uint32_t Win32FindData::nReserved1() const {
    return record_u32(buffer_, find_record::RESERVED1);
}
std::string Win32FindData::cFileName() const {
    return record_text(buffer_, find_record::FILE_NAME, find_record::FILE_NAME_SIZE);
}
std::string Win32FindData::cShortName() const {
    return record_text(buffer_, find_record::SHORT_NAME, find_record::SHORT_NAME_SIZE);
}

Win32FindData OWIN32FINDDATA() {
    return Win32FindData();
}

}  // namespace kv::fs
