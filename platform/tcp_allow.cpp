#include "platform/tcp_allow.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <charconv>
#include <cstring>

namespace kv::platform {
namespace {

// The peer's address as a network of full length; nothing for other families.
std::optional<Network> address_of(const sockaddr_storage& address) {
    Network n;
    if (address.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(address);
        std::memcpy(n.bytes.data(), &in.sin_addr, 4);
        n.prefix = 32;
        return n;
    }
    if (address.ss_family != AF_INET6) return std::nullopt;
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
    if (IN6_IS_ADDR_V4MAPPED(&in6.sin6_addr)) {
        std::memcpy(n.bytes.data(), in6.sin6_addr.s6_addr + 12, 4);
        n.prefix = 32;
        return n;
    }
    n.v6 = true;
    std::memcpy(n.bytes.data(), in6.sin6_addr.s6_addr, 16);
    n.prefix = 128;
    return n;
}

bool contains(const Network& network, const Network& address) {
    if (network.v6 != address.v6) return false;
    const unsigned full = network.prefix / 8, rest = network.prefix % 8;
    if (std::memcmp(network.bytes.data(), address.bytes.data(), full) != 0) return false;
    if (rest == 0) return true;
    const auto mask = static_cast<unsigned char>(0xFF << (8 - rest));
    return (network.bytes[full] & mask) == (address.bytes[full] & mask);
}

}  // namespace

std::optional<Network> parse_network(const std::string& text) {
    const auto slash = text.find('/');
    std::string host = text.substr(0, slash);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    Network n;
    char shown[INET6_ADDRSTRLEN] = {};
    if (::inet_pton(AF_INET, host.c_str(), n.bytes.data()) == 1) {
        n.prefix = 32;
        ::inet_ntop(AF_INET, n.bytes.data(), shown, sizeof shown);
    } else if (::inet_pton(AF_INET6, host.c_str(), n.bytes.data()) == 1) {
        n.v6 = true;
        n.prefix = 128;
        ::inet_ntop(AF_INET6, n.bytes.data(), shown, sizeof shown);
    } else {
        return std::nullopt;
    }
    if (slash != std::string::npos) {
        const std::string bits = text.substr(slash + 1);
        unsigned prefix = 0;
        const auto [end, ec] = std::from_chars(bits.data(), bits.data() + bits.size(), prefix);
        if (bits.empty() || ec != std::errc{} || end != bits.data() + bits.size() ||
            prefix > n.prefix)
            return std::nullopt;
        n.prefix = prefix;
    }
    n.text = std::string(shown) + "/" + std::to_string(n.prefix);
    return n;
}

bool peer_allowed(int socket, const std::vector<Network>& allowed) {
    if (allowed.empty()) return true;
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (::getpeername(socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) return false;
    const auto peer = address_of(address);
    if (!peer) return false;
    for (const Network& network : allowed)
        if (contains(network, *peer)) return true;
    return false;
}

bool listens_on_every_address(int listener) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) return false;
    if (address.ss_family == AF_INET)
        return reinterpret_cast<const sockaddr_in&>(address).sin_addr.s_addr == INADDR_ANY;
    if (address.ss_family == AF_INET6)
        return IN6_IS_ADDR_UNSPECIFIED(&reinterpret_cast<const sockaddr_in6&>(address).sin6_addr);
    return false;
}

}  // namespace kv::platform
