#pragma once
// The find-data record that FINDFIRSTFILE and FINDNEXTFILE fill: the Windows WIN32_FIND_DATAA
// layout as one 320-byte buffer, members packed without padding, numbers little-endian.
#include <cstddef>
#include <cstdint>
#include <string>

namespace kv::fs {

namespace find_record {
constexpr std::size_t FILE_ATTR = 0;     // nFileAttr, 4 bytes
constexpr std::size_t CREAT_TIME = 4;    // cCreatTime, 8 bytes of FILETIME
constexpr std::size_t LAST_A_TIME = 12;  // cLastATime, 8 bytes
constexpr std::size_t LAST_W_TIME = 20;  // cLastWTime, 8 bytes
constexpr std::size_t FILE_SIZE_H = 28;  // nFileSizeH, 4 bytes
constexpr std::size_t FILE_SIZE_L = 32;  // nFileSizeL, 4 bytes
constexpr std::size_t RESERVED0 = 36;    // nReserved0, 4 bytes
constexpr std::size_t RESERVED1 = 40;    // nReserved1, 4 bytes
constexpr std::size_t FILE_NAME = 44;    // cFileName, 260 bytes, NUL-padded
constexpr std::size_t FILE_NAME_SIZE = 260;
constexpr std::size_t SHORT_NAME = 304;  // cShortName, 14 bytes, NUL-padded
constexpr std::size_t SHORT_NAME_SIZE = 14;
constexpr std::size_t SIZE = 320;  // 318 bytes of members and two of padding
}  // namespace find_record

// OWIN32FINDDATA: the structure object over the record. buffer() is what FINDFIRSTFILE and
// FINDNEXTFILE write into; the members read it.
class Win32FindData {
  public:
    Win32FindData() : buffer_(find_record::SIZE, '\0') {}

    // The record's 320 bytes, to fill.
    std::string& buffer() { return buffer_; }
    // The record's 320 bytes.
    const std::string& buffer() const { return buffer_; }

    // The entry's attributes.
    std::uint32_t nFileAttr() const;
    std::string cCreatTime() const;  // the 8 raw FILETIME bytes
    // The last access time as 8 bytes of a FILETIME.
    std::string cLastATime() const;
    // The last write time as 8 bytes of a FILETIME.
    std::string cLastWTime() const;
    // The high 32 bits of the file's size.
    std::uint32_t nFileSizeH() const;
    // The low 32 bits of the file's size.
    std::uint32_t nFileSizeL() const;
    // The first reserved number of the record.
    std::uint32_t nReserved0() const;
    // The second reserved number of the record.
    std::uint32_t nReserved1() const;
    std::string cFileName() const;   // up to the first NUL
    std::string cShortName() const;  // up to the first NUL

  private:
    std::string buffer_;
};

// A new zero-filled find-data record.
Win32FindData OWIN32FINDDATA();

// Reading the members of a raw record (also used by Win32FindData).
std::uint32_t record_u32(const std::string& record, std::size_t offset);
// Bytes of a record at an offset, as many as there are up to size.
std::string record_bytes(const std::string& record, std::size_t offset, std::size_t size);
// The text of a record at an offset: the bytes up to the first 0 byte within size.
std::string record_text(const std::string& record, std::size_t offset, std::size_t size);

}  // namespace kv::fs
