// The receive ring between the reader thread and the window's thread, and SENDSTR's pieces.
#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

#include "core/serial.h"
#include "core/serial_ring.h"

namespace kv::core {
namespace {

std::string pop_all(ByteRing& ring) {
    std::string out(ByteRing::kSize, '\0');
    out.resize(ring.pop(out.data(), out.size()));
    return out;
}

TEST(ByteRing, IndicesWrapAfter2047AndBytesKeepTheirOrder) {
    ByteRing ring;
    ASSERT_EQ(ring.push(std::string(2000, 'a')), 2000u);
    EXPECT_EQ(pop_all(ring), std::string(2000, 'a'));
    const std::string across_the_end = "0123456789abcdefghijklmnopqrstuvwxyz0123456789abcdefghij";
    ASSERT_EQ(ring.push(across_the_end), across_the_end.size());
    EXPECT_EQ(ring.write_index(), (2000 + across_the_end.size()) % 2048);
    EXPECT_EQ(ring.used(), across_the_end.size());
    EXPECT_EQ(pop_all(ring), across_the_end);
    EXPECT_TRUE(ring.empty());
    EXPECT_EQ(ring.read_index(), ring.write_index());
}

TEST(ByteRing, AFullRingTakesNothingMoreAndOverwritesNothing) {
    ByteRing ring;
    std::string bytes(3000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i % 251);
    EXPECT_EQ(ring.push(bytes), 2047u);
    EXPECT_EQ(ring.room(), 0u);
    EXPECT_EQ(ring.push("more"), 0u);
    char first[10];
    ASSERT_EQ(ring.pop(first, sizeof first), 10u);
    EXPECT_EQ(std::string(first, 10), bytes.substr(0, 10));
    EXPECT_EQ(ring.push(std::string_view(bytes).substr(2047)), 10u);
    EXPECT_EQ(pop_all(ring), bytes.substr(10, 2047));
}

TEST(ByteRing, ConcurrentProducerAndConsumerLoseAndReorderNothing) {
    ByteRing ring;
    constexpr std::size_t kTotal = 3'000'000;
    auto byte_at = [](std::size_t i) { return static_cast<char>((i * 131 + i / 256) % 256); };
    std::thread producer([&] {
        std::mt19937 random(1);
        std::string chunk;
        for (std::size_t sent = 0; sent < kTotal;) {
            chunk.clear();
            std::size_t size = std::min<std::size_t>(random() % 1023 + 1, kTotal - sent);
            for (std::size_t i = 0; i < size; ++i) chunk.push_back(byte_at(sent + i));
            std::string_view rest = chunk;
            while (!rest.empty()) {
                rest.remove_prefix(ring.push(rest));  // a full ring: wait for room
                if (!rest.empty()) std::this_thread::yield();
            }
            sent += size;
        }
    });
    std::mt19937 random(2);
    std::vector<char> buffer(1000);
    std::size_t received = 0, mismatches = 0;
    while (received < kTotal) {
        std::size_t n = ring.pop(buffer.data(), random() % buffer.size() + 1);
        for (std::size_t i = 0; i < n; ++i)
            if (buffer[i] != byte_at(received + i)) ++mismatches;
        received += n;
        if (n == 0) std::this_thread::yield();
    }
    producer.join();
    EXPECT_EQ(received, kTotal);
    EXPECT_EQ(mismatches, 0u);
    EXPECT_TRUE(ring.empty());
}

std::vector<std::size_t> piece_sizes(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(i % 253);
    std::vector<std::size_t> sizes;
    std::string joined;
    send_in_pieces(bytes, [&](std::string_view piece) {
        sizes.push_back(piece.size());
        joined += piece;
    });
    EXPECT_EQ(joined, bytes);
    return sizes;
}

TEST(SendInPieces, SplitsIntoPiecesOf16384InOrder) {
    using Sizes = std::vector<std::size_t>;
    EXPECT_EQ(piece_sizes(0), Sizes{});
    EXPECT_EQ(piece_sizes(1), Sizes{1});
    EXPECT_EQ(piece_sizes(16384), Sizes{16384});
    EXPECT_EQ(piece_sizes(16385), (Sizes{16384, 1}));
    EXPECT_EQ(piece_sizes(40000), (Sizes{16384, 16384, 7232}));
}

TEST(SerialTexts, TheFourFailureMessagesNameThePortAsGiven) {
    EXPECT_EQ(open_failure_text("COM12"),
              "Errore di apertura della porta di comunicazione (COM12).");
    EXPECT_EQ(parameters_failure_text("com1"),
              "Errore di impostazione dei parametri di comunicazione (com1).");
    EXPECT_EQ(settings_failure_text("ttyUSB0"),
              "Errore di impostazione della porta di comunicazione (ttyUSB0).");
    EXPECT_EQ(notification_failure_text("PTY"), "Errore di abilitazione della notifica (PTY).");
}

}  // namespace
}  // namespace kv::core

namespace kv::core {
namespace {

TEST(ReceiveBuffer, GetcharTakesTheFrontByteAndAnEmptyBufferGivesNothing) {
    receive_buffer().clear();
    EXPECT_EQ(GETCHAR(), "");
    EXPECT_TRUE(receive_buffer().empty());
    receive_buffer().append("AB");
    EXPECT_EQ(GETCHAR(), "A");
    EXPECT_EQ(receive_buffer().size(), 1u);
    EXPECT_EQ(GETCHAR(), "B");
    EXPECT_EQ(GETCHAR(), "");
}

// Taking a large buffer apart byte by byte stays linear: a buffer that moved its rest on every
// take would move half a terabyte here.
TEST(ReceiveBuffer, TakingAMillionBytesOneByOneKeepsEveryByteInOrder) {
    receive_buffer().clear();
    constexpr std::size_t kSize = 1'000'000;
    std::string bytes(kSize, '\0');
    for (std::size_t i = 0; i < kSize; ++i) bytes[i] = static_cast<char>(i % 255);
    receive_buffer().append(bytes);
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < kSize; ++i)
        if (GETCHAR() != std::string(1, bytes[i])) ++wrong;
    EXPECT_EQ(wrong, 0u);
    EXPECT_TRUE(receive_buffer().empty());
}

}  // namespace
}  // namespace kv::core
