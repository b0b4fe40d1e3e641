#pragma once
// Runs command handlers in this process: the device's bytes are put straight into the receive
// buffer on a manual clock, and what the PC sends goes through a real port on a pseudo-terminal
// and is collected on its other side. Files live in a temporary folder, served and current.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

#include "core/print.h"
#include "core/serial.h"
#include "core/served_folder.h"
#include "platform/files.h"
#include "printing/preview.h"
#include "printing/printer.h"
#include "tests/core/fake_link.h"
#include "tests/printing/printing_support.h"
#include "tests/support/temp_dir.h"
#include "tools/kvdev/link.h"

namespace kv::test {

class HandlerFixture : public ::testing::Test {
  protected:
    HandlerFixture() : cd_(dir.path()), device_(pty_.take_master()) {}

    void SetUp() override {
        ASSERT_TRUE(core::set_served_root(dir.str()));
        // A Print command among the traffic: pages go to stand-in printers and the preview is
        // only ended, never shown.
        printing::set_preview_runner([](printing::TPrinter& device, bool) { device.End(); });
        port = core::OPENCOMM(pty_.slave_path(), 16384, 16384);
        ASSERT_GE(port, 0);
        collector_ = std::thread([this] {
            while (!stop_) {
                std::size_t wanted = 4096;
                {
                    std::lock_guard lock(mutex_);
                    if (reads_left_ == 0 && at_stop_) std::exchange(at_stop_, nullptr)();
                    wanted = std::min(wanted, reads_left_);
                }
                if (wanted == 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    continue;
                }
                std::string got = device_.read_bytes(wanted, std::chrono::milliseconds(20));
                std::lock_guard lock(mutex_);
                sent_ += got;
                reads_left_ -= std::min(reads_left_, got.size());  // the count may be new
            }
        });
    }
    void TearDown() override {
        core::end_print_job();
        printing::set_preview_runner(nullptr);
        stop_ = true;
        collector_.join();
        core::CLOSECOMM(port);
    }

    // The device's bytes, as if they had arrived.
    void device_sends(const std::string& bytes) { core::receive_buffer().append(bytes); }
    // The device reads `count` bytes more, then stops reading and calls `then` (on its thread).
    void device_stops_reading_after(std::size_t count, std::function<void()> then) {
        std::lock_guard lock(mutex_);
        reads_left_ = count;
        at_stop_ = std::move(then);
    }
    // Everything the PC sent so far (waits briefly for the bytes to cross the line).
    std::string pc_sent(std::size_t at_least = 0) {
        for (int i = 0; i < 2000; ++i) {  // up to 10 s, for a loaded machine
            {
                std::lock_guard lock(mutex_);
                if (sent_.size() >= at_least && i > 2) return take();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::lock_guard lock(mutex_);
        return take();
    }

    TempDir dir;
    PdfPrinters printers{{"Test"}, "Test"};
    FakeLink link;
    int port = -1;

  private:
    std::string take() {
        std::string out;
        out.swap(sent_);
        return out;
    }

    ScopedCurrentDir cd_;
    platform::ScopedUpperCaseFileNames case_setting_{true};
    dev::PtyPair pty_;
    dev::DeviceLink device_;
    std::thread collector_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::string sent_;
    std::size_t reads_left_ = SIZE_MAX;
    std::function<void()> at_stop_;
};

// A Save command's bytes after the letter: kind, three numbers low byte first, name and CR.
inline std::string save_args(std::uint8_t type, std::uint16_t p1, std::uint16_t length,
                             std::uint16_t p2, const std::string& name) {
    std::string s(1, static_cast<char>(type));
    for (std::uint16_t v : {p1, length, p2}) {
        s += static_cast<char>(v & 0xFF);
        s += static_cast<char>(v >> 8);
    }
    return s + name + "\r";
}

}  // namespace kv::test
