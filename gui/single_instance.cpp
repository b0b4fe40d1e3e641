#include "gui/single_instance.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QWidget>
#include <cstring>
#include <functional>
#include <set>

namespace kv::gui {
namespace {

// A name in the abstract socket namespace: nothing on disk, and gone with the process.
socklen_t address_for(const std::string& key, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    const std::string name =
        "kv32:" + std::to_string(std::hash<std::string>{}(key)) + ":" + std::to_string(::getuid());
    std::memcpy(address.sun_path + 1, name.data(), name.size());  // sun_path[0] stays 0
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

}  // namespace

void bring_to_front(QWidget* window) {
    if (!window) return;
    window->show();
    window->raise();
    window->activateWindow();
}

bool claim_single_instance(const std::string& key, std::function<void()> on_request) {
    static std::set<std::string> held_here;  // a run after another in this process
    if (held_here.count(key)) return true;
    sockaddr_un address;
    const socklen_t length = address_for(key, address);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return true;  // nothing to tell others with: go on alone
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 && ::listen(fd, 4) == 0) {
        auto* notifier =
            new QSocketNotifier(fd, QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                         [fd, on_request = std::move(on_request)] {
                             const int peer = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
                             if (peer >= 0) ::close(peer);
                             if (on_request) on_request();
                         });
        held_here.insert(key);
        return true;  // the socket stays open for the run
    }
    ::close(fd);
    const int asker = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (asker < 0) return true;
    const bool held = ::connect(asker, reinterpret_cast<sockaddr*>(&address), length) == 0;
    ::close(asker);
    return !held;  // a name left by nobody (bound, not listening) holds nothing
}

}  // namespace kv::gui
