#pragma once
// What the tests that run kvserver as a separate process share: its start, and waiting for what it
// does.
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tools/kvdev/child_process.h"

namespace kv::server {

// Generous: the programs run under the sanitizers.
inline constexpr std::chrono::seconds kServerTimeout{60};

// True once `done` is, looked at every 10 ms; false after the time-out.
template <class Done>
bool wait_for(Done done, std::chrono::milliseconds timeout = kServerTimeout) {
    using namespace std::chrono_literals;
    for (auto until = std::chrono::steady_clock::now() + timeout;
         std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(10ms))
        if (done()) return true;
    return false;
}

// kvserver --headless with the arguments, started in the folder; the test fails when its title
// line does not come.
inline std::unique_ptr<dev::ChildProcess> start_server(const std::string& folder,
                                                       std::vector<std::string> args = {}) {
    args.insert(args.begin(), "--headless");
    auto server = std::make_unique<dev::ChildProcess>(KVSERVER_BINARY, args, folder);
    EXPECT_TRUE(wait_for([&] { return server->out().find("Server Kv32 ") != std::string::npos; }))
        << server->out() << server->err();
    return server;
}

}  // namespace kv::server
