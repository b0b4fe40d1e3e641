#pragma once
// A device's line over TCP: the port names "tcp:PORT" and "tcp:ADDRESS:PORT", the listening
// socket that a device emulator connects to, and the emulator's own connection.
#include <optional>
#include <string>

namespace kv::platform {

struct TcpAddress {
    std::string host;   // as given: 127.0.0.1, ::1, localhost, ...
    unsigned port = 0;  // 0 when listening: any free port (the listener tells which)
};

// True for names that begin with "tcp:" (any case).
bool is_tcp_port_name(const std::string& port_name);

// "tcp:PORT" is 127.0.0.1:PORT; "tcp:ADDRESS:PORT" and "tcp:[IPV6]:PORT" name the address.
// Nothing when the name is not of that form or the port is not a number up to 65535.
std::optional<TcpAddress> parse_tcp_port_name(const std::string& port_name);

// "127.0.0.1:2323", "[::1]:2323".
std::string address_text(const TcpAddress& address);

// The name with the address it means when the name does not show it: "tcp:2323 is
// 127.0.0.1:2323", but "tcp:10.0.0.1:2323" as it stands.
std::string tcp_port_heading(const std::string& port_name);

// A listening socket on the address (one waiting connection at most is queued). -1 with errno
// set when the address cannot be resolved or is not free; EINVAL for a name that is no TCP
// address.
int listen_tcp(const std::string& port_name);

// The address a socket is bound to (its own side) or connected to (the peer), as text.
std::string local_address_text(int socket);
std::string peer_address_text(int socket);

// Takes the next waiting connection: the descriptor (close-on-exec, Nagle's delay off so that
// each byte goes at once), or -1.
int accept_tcp(int listener);

// Connects to the address (the device's side); -1 with errno set on failure.
int connect_tcp(const TcpAddress& address);

// Why a TCP port name cannot be listened on, in plain words ("the address is in use by another
// program", ...).
std::string tcp_failure_cause(const std::string& port_name, int error);

}  // namespace kv::platform
