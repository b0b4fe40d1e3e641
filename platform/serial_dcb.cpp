#include "platform/serial_dcb.h"

#include <termios.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <vector>

namespace kv::platform {

namespace {

// ---- the 28-byte layout -------------------------------------------------------------------

void put_le(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint32_t get_le(std::string_view in, std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
    return value;
}

std::uint32_t flag_word(const Dcb& d) {
    return (d.binary ? 1u : 0u) | (d.parity_check ? 1u << 1 : 0u) |
           (d.outx_cts_flow ? 1u << 2 : 0u) | (d.outx_dsr_flow ? 1u << 3 : 0u) |
           (static_cast<std::uint32_t>(d.dtr_control & 3u) << 4) |
           (d.dsr_sensitivity ? 1u << 6 : 0u) | (d.tx_continue_on_xoff ? 1u << 7 : 0u) |
           (d.out_x ? 1u << 8 : 0u) | (d.in_x ? 1u << 9 : 0u) | (d.error_char_on ? 1u << 10 : 0u) |
           (d.null_strip ? 1u << 11 : 0u) | (static_cast<std::uint32_t>(d.rts_control & 3u) << 12) |
           (d.abort_on_error ? 1u << 14 : 0u);
}

void set_flag_word(Dcb& d, std::uint32_t w) {
    auto bit = [w](int n) { return ((w >> n) & 1u) != 0; };
    d.binary = bit(0);
    d.parity_check = bit(1);
    d.outx_cts_flow = bit(2);
    d.outx_dsr_flow = bit(3);
    d.dtr_control = static_cast<std::uint8_t>((w >> 4) & 3u);
    d.dsr_sensitivity = bit(6);
    d.tx_continue_on_xoff = bit(7);
    d.out_x = bit(8);
    d.in_x = bit(9);
    d.error_char_on = bit(10);
    d.null_strip = bit(11);
    d.rts_control = static_cast<std::uint8_t>((w >> 12) & 3u);
    d.abort_on_error = bit(14);
}

// ---- mode strings -------------------------------------------------------------------------

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> split(std::string_view s, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        auto at = s.find(separator);
        parts.push_back(s.substr(0, at));
        if (at == std::string_view::npos) return parts;
        s.remove_prefix(at + 1);
    }
}

std::optional<std::uint32_t> parse_number(std::string_view s) {
    std::uint32_t value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc{} || end != s.data() + s.size() || s.empty()) return std::nullopt;
    return value;
}

// Two-digit abbreviations of the mode command: "96" is 9600 baud, and so on.
std::optional<std::uint32_t> parse_baud(std::string_view s, bool allow_abbreviations) {
    auto value = parse_number(s);
    if (!value || *value == 0) return std::nullopt;
    if (allow_abbreviations) {
        static constexpr std::array<std::pair<std::uint32_t, std::uint32_t>, 9> abbreviations{
            {{11, 110},
             {15, 150},
             {30, 300},
             {60, 600},
             {12, 1200},
             {24, 2400},
             {48, 4800},
             {96, 9600},
             {19, 19200}}};
        for (auto [short_form, baud] : abbreviations)
            if (*value == short_form) return baud;
    }
    return value;
}

std::optional<std::uint8_t> parse_parity(std::string_view s) {
    auto p = lower(s);
    if (p == "n") return kNoParity;
    if (p == "o") return kOddParity;
    if (p == "e") return kEvenParity;
    if (p == "m") return kMarkParity;
    if (p == "s") return kSpaceParity;
    return std::nullopt;
}

std::optional<std::uint8_t> parse_data_bits(std::string_view s) {
    auto value = parse_number(s);
    if (!value || *value < 5 || *value > 8) return std::nullopt;
    return static_cast<std::uint8_t>(*value);
}

std::optional<std::uint8_t> parse_stop_bits(std::string_view s) {
    if (s == "1") return kOneStopBit;
    if (s == "1.5") return kOnePointFiveStopBits;
    if (s == "2") return kTwoStopBits;
    return std::nullopt;
}

std::optional<bool> parse_on_off(std::string_view s) {
    auto v = lower(s);
    if (v == "on") return true;
    if (v == "off") return false;
    return std::nullopt;
}

void set_flow_control(Dcb& d, char flow) {
    const bool xon = flow == 'x';
    const bool hardware = flow == 'p';
    d.out_x = d.in_x = xon;
    d.outx_cts_flow = d.outx_dsr_flow = hardware;
    d.dtr_control = hardware ? kLineControlHandshake : kLineControlEnable;
    d.rts_control = hardware ? kLineControlHandshake : kLineControlEnable;
}

// "57600,N,8,1" with an optional fifth field "x" or "p".
bool apply_positional_form(std::string_view mode, Dcb& d) {
    auto fields = split(mode, ',');
    if (fields.size() != 4 && fields.size() != 5) return false;
    for (auto& f : fields) f = trim(f);
    auto baud = parse_baud(fields[0], true);
    auto parity = parse_parity(fields[1]);
    auto data = parse_data_bits(fields[2]);
    auto stop = parse_stop_bits(fields[3]);
    char flow = 0;
    if (fields.size() == 5) {
        auto f = lower(fields[4]);
        if (f != "x" && f != "p") return false;
        flow = f[0];
    }
    if (!baud || !parity || !data || !stop) return false;
    d.baud_rate = *baud;
    d.parity = *parity;
    d.byte_size = *data;
    d.stop_bits = *stop;
    d.binary = true;
    d.parity_check = *parity != kNoParity;
    set_flow_control(d, flow);
    return true;
}

std::optional<std::uint8_t> parse_line_control(std::string_view s, bool allow_toggle) {
    auto v = lower(s);
    if (v == "off") return kLineControlDisable;
    if (v == "on") return kLineControlEnable;
    if (v == "hs") return kLineControlHandshake;
    if (allow_toggle && v == "tg") return 3;
    return std::nullopt;
}

// Stores a parsed value into a member; false when the value did not parse.
template <typename T, typename Member>
bool store(const std::optional<T>& value, Member& member) {
    if (!value) return false;
    member = static_cast<Member>(*value);
    return true;
}

bool apply_keyword(std::string_view key, std::string_view value, Dcb& d) {
    const auto k = lower(key);
    if (k == "baud") return store(parse_baud(value, false), d.baud_rate);
    if (k == "data") return store(parse_data_bits(value), d.byte_size);
    if (k == "stop") return store(parse_stop_bits(value), d.stop_bits);
    if (k == "dtr") return store(parse_line_control(value, false), d.dtr_control);
    if (k == "rts") return store(parse_line_control(value, true), d.rts_control);
    if (k == "parity") {
        if (!store(parse_parity(value), d.parity)) return false;
        d.parity_check = d.parity != kNoParity;
        return true;
    }
    if (k == "xon")
        return store(parse_on_off(value), d.out_x) && store(parse_on_off(value), d.in_x);
    if (k == "odsr") return store(parse_on_off(value), d.outx_dsr_flow);
    if (k == "octs") return store(parse_on_off(value), d.outx_cts_flow);
    if (k == "idsr") return store(parse_on_off(value), d.dsr_sensitivity);
    bool timeouts;  // time-outs are not part of the block
    return k == "to" && store(parse_on_off(value), timeouts);
}

// "baud=57600 parity=n data=8 stop=1", keywords in any order, separated by blanks.
bool apply_keyword_form(std::string_view mode, Dcb& d) {
    bool any = false;
    for (auto word : split(mode, ' ')) {
        word = trim(word);
        if (word.empty()) continue;
        auto eq = word.find('=');
        if (eq == std::string_view::npos) return false;
        if (!apply_keyword(trim(word.substr(0, eq)), trim(word.substr(eq + 1)), d)) return false;
        any = true;
    }
    return any;
}

// ---- termios ------------------------------------------------------------------------------

struct SpeedCode {
    std::uint32_t baud;
    speed_t code;
};

constexpr std::array<SpeedCode, 30> kSpeeds{{
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
}};

std::optional<speed_t> speed_code(std::uint32_t baud) {
    for (auto s : kSpeeds)
        if (s.baud == baud) return s.code;
    return std::nullopt;
}

std::uint32_t baud_of(speed_t code) {
    for (auto s : kSpeeds)
        if (s.code == code) return s.baud;
    return 0;
}

tcflag_t size_flag(std::uint8_t byte_size) {
    switch (byte_size) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

std::uint8_t byte_size_of(tcflag_t cflag) {
    switch (cflag & CSIZE) {
        case CS5:
            return 5;
        case CS6:
            return 6;
        case CS7:
            return 7;
        default:
            return 8;
    }
}

tcflag_t parity_flags(std::uint8_t parity) {
    switch (parity) {
        case kOddParity:
            return PARENB | PARODD;
        case kEvenParity:
            return PARENB;
        case kMarkParity:
            return PARENB | CMSPAR | PARODD;
        case kSpaceParity:
            return PARENB | CMSPAR;
        default:
            return 0;
    }
}

std::uint8_t parity_of(tcflag_t cflag) {
    if (!(cflag & PARENB)) return kNoParity;
    if (cflag & CMSPAR) return (cflag & PARODD) ? kMarkParity : kSpaceParity;
    return (cflag & PARODD) ? kOddParity : kEvenParity;
}

}  // namespace

std::string serialise_dcb(const Dcb& d) {
    std::string out;
    out.reserve(kDcbSize);
    put_le(out, kDcbSize, 4);
    put_le(out, d.baud_rate, 4);
    put_le(out, flag_word(d), 4);
    put_le(out, 0, 2);
    put_le(out, d.xon_limit, 2);
    put_le(out, d.xoff_limit, 2);
    for (char c : {static_cast<char>(d.byte_size), static_cast<char>(d.parity),
                   static_cast<char>(d.stop_bits), d.xon_char, d.xoff_char, d.error_char,
                   d.eof_char, d.evt_char})
        out.push_back(c);
    put_le(out, 0, 2);
    return out;
}

std::optional<Dcb> parse_dcb(std::string_view b) {
    if (b.size() != kDcbSize || get_le(b, 0, 4) != kDcbSize) return std::nullopt;
    Dcb d;
    d.baud_rate = get_le(b, 4, 4);
    set_flag_word(d, get_le(b, 8, 4));
    d.xon_limit = static_cast<std::uint16_t>(get_le(b, 14, 2));
    d.xoff_limit = static_cast<std::uint16_t>(get_le(b, 16, 2));
    d.byte_size = static_cast<std::uint8_t>(b[18]);
    d.parity = static_cast<std::uint8_t>(b[19]);
    d.stop_bits = static_cast<std::uint8_t>(b[20]);
    d.xon_char = b[21];
    d.xoff_char = b[22];
    d.error_char = b[23];
    d.eof_char = b[24];
    d.evt_char = b[25];
    return d;
}

bool apply_mode_string(std::string_view mode, Dcb& dcb) {
    Dcb changed = dcb;
    mode = trim(mode);
    const bool keyword_form = mode.find('=') != std::string_view::npos;
    if (!(keyword_form ? apply_keyword_form(mode, changed) : apply_positional_form(mode, changed)))
        return false;
    dcb = changed;
    return true;
}

std::optional<Dcb> read_device_dcb(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return std::nullopt;
    Dcb d;
    if (auto baud = baud_of(::cfgetospeed(&t))) d.baud_rate = baud;
    d.byte_size = byte_size_of(t.c_cflag);
    d.parity = parity_of(t.c_cflag);
    d.parity_check = (t.c_iflag & INPCK) != 0;
    d.stop_bits = (t.c_cflag & CSTOPB) ? kTwoStopBits : kOneStopBit;
    d.outx_cts_flow = (t.c_cflag & CRTSCTS) != 0;
    d.rts_control = d.outx_cts_flow ? kLineControlHandshake : kLineControlEnable;
    d.out_x = (t.c_iflag & IXON) != 0;
    d.in_x = (t.c_iflag & IXOFF) != 0;
    d.xon_char = static_cast<char>(t.c_cc[VSTART]);
    d.xoff_char = static_cast<char>(t.c_cc[VSTOP]);
    return d;
}

bool apply_dcb_to_device(int fd, const Dcb& d) {
    auto speed = speed_code(d.baud_rate);
    if (!speed || d.byte_size < 5 || d.byte_size > 8 || d.parity > kSpaceParity ||
        d.stop_bits > kTwoStopBits)
        return false;
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return false;
    ::cfmakeraw(&t);
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | PARMRK | IGNPAR);
    t.c_cflag &=
        ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL);
    t.c_cflag |= CLOCAL | CREAD | size_flag(d.byte_size) | parity_flags(d.parity);
    // Linux has no 1.5 stop bits; the nearest is 2, as Windows drivers do for more than 5 bits.
    if (d.stop_bits != kOneStopBit) t.c_cflag |= CSTOPB;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (::cfsetispeed(&t, *speed) != 0 || ::cfsetospeed(&t, *speed) != 0) return false;
    return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

}  // namespace kv::platform
