// The 28-byte settings block, the two mode-string forms, and the block put onto a terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include "platform/serial_dcb.h"
#include "platform/serial_device.h"
#include "serial_test_io.h"

namespace kv::platform {
namespace {

std::uint32_t le32(const std::string& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return v;
}

TEST(DcbLayout, TheBlockIsTheWindowsLayoutAndReadsBackUnchanged) {
    Dcb d;
    d.baud_rate = 57600;
    d.parity = kEvenParity;
    d.parity_check = true;
    d.byte_size = 7;
    d.stop_bits = kTwoStopBits;
    d.out_x = true;
    d.rts_control = kLineControlHandshake;
    d.xon_limit = 0x1234;
    d.eof_char = 0x1A;
    const std::string b = serialise_dcb(d);
    ASSERT_EQ(b.size(), 28u);
    EXPECT_EQ(le32(b, 0), 28u);
    EXPECT_EQ(le32(b, 4), 57600u);
    EXPECT_EQ(le32(b, 8), 1u | 2u | (1u << 4) | (1u << 8) | (2u << 12));
    EXPECT_EQ(static_cast<unsigned char>(b[14]), 0x34);
    EXPECT_EQ(static_cast<unsigned char>(b[15]), 0x12);
    EXPECT_EQ(b[18], 7);
    EXPECT_EQ(b[19], kEvenParity);
    EXPECT_EQ(b[20], kTwoStopBits);
    EXPECT_EQ(b[24], 0x1A);
    EXPECT_EQ(parse_dcb(b), d);
}

TEST(DcbLayout, ABlockOfAnotherSizeOrLengthIsRefused) {
    const std::string good = serialise_dcb(Dcb{});
    EXPECT_FALSE(parse_dcb(""));
    EXPECT_FALSE(parse_dcb(good.substr(0, 27)));
    EXPECT_FALSE(parse_dcb(good + "x"));
    std::string wrong_length = good;
    wrong_length[0] = 12;
    EXPECT_FALSE(parse_dcb(wrong_length));
}

TEST(ModeString, BothFormsGive57600NoParity8Bits1StopAndNoFlowControl) {
    for (const char* mode :
         {"57600,N,8,1", "57600,n,8,1", " 57600 , N , 8 , 1 ", "baud=57600 parity=n data=8 stop=1",
          "BAUD=57600 PARITY=N DATA=8 STOP=1"}) {
        Dcb d;
        d.out_x = d.in_x = d.outx_cts_flow = d.outx_dsr_flow = true;
        d.byte_size = 7;
        d.parity = kOddParity;
        ASSERT_TRUE(apply_mode_string(mode, d)) << mode;
        EXPECT_EQ(d.baud_rate, 57600u) << mode;
        EXPECT_EQ(d.parity, kNoParity) << mode;
        EXPECT_EQ(d.byte_size, 8) << mode;
        EXPECT_EQ(d.stop_bits, kOneStopBit) << mode;
        if (mode[0] != 'b' && mode[0] != 'B') {
            // The positional form says which flow control there is; none here.
            EXPECT_FALSE(d.out_x || d.in_x || d.outx_cts_flow || d.outx_dsr_flow) << mode;
        }
    }
}

TEST(ModeString, OtherValuesOfBothForms) {
    Dcb d;
    ASSERT_TRUE(apply_mode_string("96,e,7,2,x", d));
    EXPECT_EQ(d.baud_rate, 9600u);
    EXPECT_EQ(d.parity, kEvenParity);
    EXPECT_TRUE(d.parity_check);
    EXPECT_EQ(d.byte_size, 7);
    EXPECT_EQ(d.stop_bits, kTwoStopBits);
    EXPECT_TRUE(d.out_x && d.in_x);
    ASSERT_TRUE(apply_mode_string("19200,m,5,1.5,p", d));
    EXPECT_EQ(d.parity, kMarkParity);
    EXPECT_EQ(d.stop_bits, kOnePointFiveStopBits);
    EXPECT_TRUE(d.outx_cts_flow);
    EXPECT_EQ(d.rts_control, kLineControlHandshake);
    EXPECT_FALSE(d.out_x);
    ASSERT_TRUE(apply_mode_string("baud=115200 xon=on octs=off dtr=off rts=tg to=on", d));
    EXPECT_EQ(d.baud_rate, 115200u);
    EXPECT_TRUE(d.out_x && d.in_x);
    EXPECT_FALSE(d.outx_cts_flow);
    EXPECT_EQ(d.dtr_control, kLineControlDisable);
    EXPECT_EQ(d.rts_control, 3);
    EXPECT_EQ(d.byte_size, 5);  // not named: kept
}

TEST(ModeString, AnythingElseIsRefusedAndLeavesTheBlockAlone) {
    for (const char* mode :
         {"", "   ", "57600", "57600,N,8", "57600,N,9,1", "57600,Q,8,1", "57600,N,8,3", "0,N,8,1",
          "abc,N,8,1", "57600,N,8,1,z", "57600,N,8,1,x,1", "57600 N 8 1", "baud=", "baud=fast",
          "baud=57600 parity=q", "baud=57600 speed=1", "baud=57600 data", "COM1: 57600,N,8,1"}) {
        Dcb d;
        const Dcb before = d;
        EXPECT_FALSE(apply_mode_string(mode, d)) << '"' << mode << '"';
        EXPECT_EQ(d, before) << mode;
    }
}

TEST(DcbOnDevice, TheBlockMakesTheTerminalRawWithoutFlowControl) {
    auto pty = open_pseudo_terminal();
    ASSERT_TRUE(pty);
    termios cooked{};
    ASSERT_EQ(tcgetattr(pty->slave, &cooked), 0);
    cooked.c_iflag |= ICRNL | IXON | IXOFF;
    cooked.c_oflag |= OPOST | ONLCR;
    cooked.c_lflag |= ICANON | ECHO | ISIG;
    cooked.c_cflag |= CRTSCTS | HUPCL;
    ASSERT_EQ(tcsetattr(pty->slave, TCSANOW, &cooked), 0);

    Dcb d;
    ASSERT_TRUE(apply_mode_string("57600,N,8,1", d));
    ASSERT_TRUE(apply_dcb_to_device(pty->slave, d));
    termios t{};
    ASSERT_EQ(tcgetattr(pty->slave, &t), 0);
    EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP | PARMRK), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_cflag & (CRTSCTS | HUPCL | PARENB | CSTOPB), 0u);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B57600));
    auto back = read_device_dcb(pty->slave);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->baud_rate, 57600u);
    EXPECT_EQ(back->byte_size, 8);
    EXPECT_EQ(back->parity, kNoParity);
    EXPECT_FALSE(back->out_x || back->outx_cts_flow);

    // Flow-control and line-editing bytes pass as data.
    const std::string special("\x00\r\n\x11\x13\x03\x7f\xff", 8);
    ASSERT_EQ(write(pty->master, special.data(), special.size()), 8);
    const std::string got = kv::test::read_exactly(pty->slave, special.size());
    EXPECT_EQ(got, special);
    close(pty->master);
    close(pty->slave);
}

TEST(DcbOnDevice, ABlockTheTerminalCannotTakeIsRefused) {
    auto pty = open_pseudo_terminal();
    ASSERT_TRUE(pty);
    Dcb d;
    d.baud_rate = 12345;
    EXPECT_FALSE(apply_dcb_to_device(pty->slave, d));
    d.baud_rate = 57600;
    d.parity = 9;
    EXPECT_FALSE(apply_dcb_to_device(pty->slave, d));
    close(pty->master);
    close(pty->slave);
    int not_a_terminal = open("/dev/null", O_RDWR);
    EXPECT_FALSE(apply_dcb_to_device(not_a_terminal, Dcb{}));
    EXPECT_FALSE(read_device_dcb(not_a_terminal));
    close(not_a_terminal);
}

}  // namespace
}  // namespace kv::platform
