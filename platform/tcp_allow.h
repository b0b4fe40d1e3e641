#pragma once
// Which peers a TCP line lets in: networks written ADDRESS[/PREFIX] ("192.168.1.0/24",
// "10.0.0.7", "::1", "fd00::/8"); an IPv4 peer that reaches an IPv6 socket (::ffff:a.b.c.d)
// counts as its IPv4 address.
#include <array>
#include <optional>
#include <string>
#include <vector>

namespace kv::platform {

struct Network {
    bool v6 = false;
    std::array<unsigned char, 16> bytes{};  // the first 4 for IPv4
    unsigned prefix = 0;                    // bits that must match
    std::string text;                       // as the user wrote it, made canonical
};

// Nothing when the text is not an address with an optional prefix of fitting length.
std::optional<Network> parse_network(const std::string& text);

// True when the connected socket's peer lies in one of the networks (every peer when there are
// none).
bool peer_allowed(int socket, const std::vector<Network>& allowed);

// True when a listening socket is bound to every address of the machine (0.0.0.0 or ::).
bool listens_on_every_address(int listener);

}  // namespace kv::platform
