#pragma once
// The line settings block: the 28-byte device-control block of Windows, its mode strings, and its
// mapping onto a terminal device's termios settings.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kv::platform {

// Parity codes of the block.
enum : std::uint8_t {
    kNoParity = 0,
    kOddParity = 1,
    kEvenParity = 2,
    kMarkParity = 3,
    kSpaceParity = 4
};
// Stop-bit codes of the block.
enum : std::uint8_t { kOneStopBit = 0, kOnePointFiveStopBits = 1, kTwoStopBits = 2 };
// DTR and RTS control codes of the block.
enum : std::uint8_t { kLineControlDisable = 0, kLineControlEnable = 1, kLineControlHandshake = 2 };

// The members of the block, in the order of its 28-byte layout (little-endian):
// DCBlength, BaudRate, the flag word, wReserved, XonLim, XoffLim, ByteSize, Parity, StopBits,
// XonChar, XoffChar, ErrorChar, EofChar, EvtChar, wReserved1.
struct Dcb {
    std::uint32_t baud_rate = 1200;
    // The flag word's bits, from its least significant bit on.
    bool binary = true;
    bool parity_check = false;
    bool outx_cts_flow = false;
    bool outx_dsr_flow = false;
    std::uint8_t dtr_control = kLineControlEnable;  // 2 bits
    bool dsr_sensitivity = false;
    bool tx_continue_on_xoff = false;
    bool out_x = false;
    bool in_x = false;
    bool error_char_on = false;
    bool null_strip = false;
    std::uint8_t rts_control = kLineControlEnable;  // 2 bits
    bool abort_on_error = false;
    std::uint16_t xon_limit = 2048;
    std::uint16_t xoff_limit = 512;
    std::uint8_t byte_size = 8;
    std::uint8_t parity = kNoParity;
    std::uint8_t stop_bits = kOneStopBit;
    char xon_char = 0x11;
    char xoff_char = 0x13;
    char error_char = 0;
    char eof_char = 0;
    char evt_char = 0;

    bool operator==(const Dcb&) const = default;
};

constexpr std::size_t kDcbSize = 28;

// The block as its 28 bytes.
std::string serialise_dcb(const Dcb& dcb);
// Reads a block back; nothing when the bytes are not 28 or do not start with the length 28.
std::optional<Dcb> parse_dcb(std::string_view bytes);

// Applies a Windows mode string to the block: "57600,N,8,1" (baud, parity, data bits, stop bits,
// optionally ",x" for XON/XOFF or ",p" for hardware flow control) or the keyword form
// "baud=57600 parity=n data=8 stop=1" (also xon=, odsr=, octs=, dtr=, rts=, idsr=, to=).
// False, with the block unchanged, for any other text or a value out of range.
bool apply_mode_string(std::string_view mode, Dcb& dcb);

// The block as the terminal device's current settings give it (baud rate, framing, flow
// control and XON/XOFF characters); nothing when the descriptor is not a terminal.
std::optional<Dcb> read_device_dcb(int fd);

// Puts the block onto the terminal device: raw bytes in both directions (no translation of any
// byte, no special characters), receiver on, modem lines ignored, the block's baud rate and
// framing, no flow control. False when the device refuses or the block cannot be expressed.
bool apply_dcb_to_device(int fd, const Dcb& dcb);

}  // namespace kv::platform
