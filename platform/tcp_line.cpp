#include "platform/tcp_line.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include "platform/texts.h"

namespace kv::platform {
namespace {

constexpr const char* kDefaultHost = "127.0.0.1";

std::optional<unsigned> port_number(const std::string& text) {
    unsigned n = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || n > 65535)
        return std::nullopt;
    return n;
}

std::string sockaddr_text(const sockaddr_storage& address) {
    char host[INET6_ADDRSTRLEN] = "?";
    unsigned port = 0;
    if (address.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(address);
        ::inet_ntop(AF_INET, &in.sin_addr, host, sizeof host);
        port = ntohs(in.sin_port);
        return std::string(host) + ":" + std::to_string(port);
    }
    if (address.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
        ::inet_ntop(AF_INET6, &in6.sin6_addr, host, sizeof host);
        port = ntohs(in6.sin6_port);
    }
    return "[" + std::string(host) + "]:" + std::to_string(port);
}

// The addresses of a host and port; empty (errno EADDRNOTAVAIL) when the host is unknown.
addrinfo* resolve(const TcpAddress& address, bool passive) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | (passive ? AI_PASSIVE : 0);
    addrinfo* found = nullptr;
    const std::string port = std::to_string(address.port);
    if (::getaddrinfo(address.host.c_str(), port.c_str(), &hints, &found) != 0) {
        errno = EADDRNOTAVAIL;
        return nullptr;
    }
    return found;
}

void close_keeping_errno(int fd) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
}

}  // namespace

bool is_tcp_port_name(const std::string& port_name) {
    return port_name.size() >= 4 && std::tolower(static_cast<unsigned char>(port_name[0])) == 't' &&
           std::tolower(static_cast<unsigned char>(port_name[1])) == 'c' &&
           std::tolower(static_cast<unsigned char>(port_name[2])) == 'p' && port_name[3] == ':';
}

std::optional<TcpAddress> parse_tcp_port_name(const std::string& port_name) {
    if (!is_tcp_port_name(port_name)) return std::nullopt;
    const std::string rest = port_name.substr(4);
    const auto colon = rest.rfind(':');
    if (colon == std::string::npos) {
        auto port = port_number(rest);
        if (!port) return std::nullopt;
        return TcpAddress{kDefaultHost, *port};
    }
    std::string host = rest.substr(0, colon);
    auto port = port_number(rest.substr(colon + 1));
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    else if (host.find(':') != std::string::npos)
        return std::nullopt;  // an IPv6 address is written in brackets
    if (!port || host.empty()) return std::nullopt;
    return TcpAddress{host, *port};
}

std::string address_text(const TcpAddress& address) {
    const bool v6 = address.host.find(':') != std::string::npos;
    return (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}

std::string tcp_port_heading(const std::string& port_name) {
    const auto address = parse_tcp_port_name(port_name);
    if (!address || port_name.substr(4) == address_text(*address)) return port_name;
    return platform::translated("Ports", "%1 is %2").arg(port_name).arg(address_text(*address));
}

int listen_tcp(const std::string& port_name) {
    const auto address = parse_tcp_port_name(port_name);
    if (!address) {
        errno = EINVAL;
        return -1;
    }
    addrinfo* found = resolve(*address, true);
    if (!found) return -1;
    int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
    if (fd >= 0) {
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(fd, found->ai_addr, found->ai_addrlen) != 0 || ::listen(fd, 1) != 0) {
            close_keeping_errno(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    return fd;
}

std::string local_address_text(int socket) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) return "?";
    return sockaddr_text(address);
}

std::string peer_address_text(int socket) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (::getpeername(socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) return "?";
    return sockaddr_text(address);
}

int accept_tcp(int listener) {
    int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return -1;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

int connect_tcp(const TcpAddress& address) {
    addrinfo* found = resolve(address, false);
    if (!found) return -1;
    int fd = -1;
    for (addrinfo* a = found; a; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) break;
        close_keeping_errno(fd);
        fd = -1;
    }
    ::freeaddrinfo(found);
    if (fd >= 0) {
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    return fd;
}

std::string tcp_failure_cause(const std::string& port_name, int error) {
    switch (error) {
        case EINVAL:
            return platform::translated("Ports",
                                        "it is not a TCP address (write tcp:PORT, or "
                                        "tcp:ADDRESS:PORT for an address other than 127.0.0.1)");
        case EADDRINUSE:
            return platform::translated("Ports", "another program already listens on it");
        case EACCES:
        case EPERM:
            return platform::translated("Ports",
                                        "ports below 1024 are for the superuser; choose one above "
                                        "1023");
        case EADDRNOTAVAIL: {
            const auto address = parse_tcp_port_name(port_name);
            return platform::translated("Ports", "this machine has no address %1")
                .arg(address ? address->host : port_name);
        }
        default:
            return platform::translated("Ports", "it cannot be listened on (%1)")
                .arg(system_error_text(error));
    }
}

}  // namespace kv::platform
