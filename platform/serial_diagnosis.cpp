#include "platform/serial_diagnosis.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>

#include "platform/serial_device.h"
#include "platform/tcp_line.h"
#include "platform/texts.h"

namespace kv::platform {
namespace {

std::vector<std::string> folder_entries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') names.emplace_back(e->d_name);
        ::closedir(d);
    }
    return names;
}

std::string canonical(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::string first_line_of(const std::string& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

bool starts_with_digits_after(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

bool is_serial_device_name(const std::string& name) {
    return starts_with_digits_after(name, "ttyS") || starts_with_digits_after(name, "ttyUSB") ||
           starts_with_digits_after(name, "ttyACM");
}

// ttyS2 before ttyS10: the prefix, then the number.
bool natural_less(const std::string& a, const std::string& b) {
    auto split = [](const std::string& s) {
        std::size_t i = s.find_last_not_of("0123456789") + 1;
        return std::make_pair(s.substr(0, i), std::stoul("0" + s.substr(i)));
    };
    return split(a) < split(b);
}

std::string user_name() {
    if (passwd* pw = ::getpwuid(::getuid())) return pw->pw_name;
    return std::to_string(::getuid());
}

bool process_has_group(gid_t gid) {
    if (::getegid() == gid) return true;
    gid_t groups[NGROUPS_MAX];
    int n = ::getgroups(NGROUPS_MAX, groups);
    return std::find(groups, groups + std::max(n, 0), gid) != groups + std::max(n, 0);
}

bool user_listed_in_group(const group& g, const std::string& user) {
    for (char** member = g.gr_mem; member && *member; ++member)
        if (user == *member) return true;
    return false;
}

std::string permission_cause(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return platform::translated("Ports", "permission denied");
    const group* g = ::getgrgid(st.st_gid);
    const std::string group_name = g ? g->gr_name : std::to_string(st.st_gid);
    const std::string user = user_name();
    const bool group_may = (st.st_mode & S_IRGRP) && (st.st_mode & S_IWGRP);
    if (!group_may) {
        const passwd* owner = ::getpwuid(st.st_uid);
        return platform::translated("Ports",
                                    "permission denied: only its owner (%1) may open it; the "
                                    "administrator can give group %2 access with a udev rule")
            .arg(owner ? std::string(owner->pw_name) : std::to_string(st.st_uid))
            .arg(group_name);
    }
    if (process_has_group(st.st_gid))
        return platform::translated("Ports", "permission denied although this user is in group %1")
            .arg(group_name);
    if (g && user_listed_in_group(*g, user))
        return platform::translated("Ports",
                                    "permission denied: the device belongs to group %1, and %2 "
                                    "was added to it after this session began. Log out and in "
                                    "again")
            .arg(group_name)
            .arg(user);
    return platform::translated("Ports",
                                "permission denied: the device belongs to group %1, which %2 is "
                                "not in. Add the user with: sudo usermod -aG %1 %2, then log out "
                                "and in again")
        .arg(group_name)
        .arg(user);
}

std::string busy_cause(const std::string& path) {
    const auto holders = processes_holding(path);
    if (holders.empty())
        return platform::translated("Ports",
                                    "it is in use by another program (which one cannot be seen "
                                    "from this user; sudo fuser -v %1 tells)")
            .arg(path);
    std::string list;
    for (std::size_t i = 0; i < holders.size(); ++i) list += (i ? ", " : "") + holders[i];
    return platform::translated("Ports", "it is in use by %1").arg(list);
}

std::string not_a_port_cause(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return platform::translated("Ports", "it is a folder, not a serial port");
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        return platform::translated("Ports", "it is a plain file, not a serial port");
    if (::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode))
        return platform::translated("Ports", "it is a device, but not a serial port");
    return platform::translated("Ports", "it is not a serial port");
}

std::string existing_devices_sentence() {
    std::string list;
    for (const auto& device : list_serial_devices())
        list += (list.empty() ? "" : ", ") + device.path;
    if (list.empty())
        return " " + platform::translated("Ports", "No serial device is connected to this machine.")
                         .str();
    return " " +
           platform::translated("Ports", "Serial devices here: %1 (kv32 --list-ports tells more).")
               .arg(list)
               .str();
}

}  // namespace

std::vector<std::string> processes_holding(const std::string& path) {
    const std::string target = canonical(path);
    const std::string self = std::to_string(::getpid());
    std::vector<std::string> holders;
    for (const auto& pid : folder_entries("/proc")) {
        if (pid == self || !std::all_of(pid.begin(), pid.end(), ::isdigit)) continue;
        const std::string fds = "/proc/" + pid + "/fd";
        for (const auto& fd : folder_entries(fds)) {
            char link[PATH_MAX];
            ssize_t n = ::readlink((fds + "/" + fd).c_str(), link, sizeof link - 1);
            if (n <= 0 || std::string(link, static_cast<std::size_t>(n)) != target) continue;
            holders.push_back(platform::translated("Ports", "process %1 (%2)")
                                  .arg(pid)
                                  .arg(first_line_of("/proc/" + pid + "/comm")));
            break;
        }
    }
    return holders;
}

std::string open_failure_cause(const std::string& path, int error) {
    switch (error) {
        case ENOENT:
            return platform::translated("Ports", "there is no such device");
        case EACCES:
        case EPERM:
            return permission_cause(path);
        case EBUSY:
            return busy_cause(path);
        case EISDIR:
        case ENOTTY:
            return not_a_port_cause(path);
        case EIO:
        case ENXIO:
        case ENODEV:
            return platform::translated(
                "Ports", "the device does not answer: there is no hardware behind it");
        default:
            return platform::translated("Ports", "it cannot be opened (%1)")
                .arg(system_error_text(error));
    }
}

std::string open_failure_details(const std::string& port_name, int error) {
    if (is_pseudo_terminal_name(port_name))
        return platform::translated("Ports", "No pseudo-terminal could be made (%1).")
            .arg(system_error_text(error));
    if (is_tcp_port_name(port_name)) {
        return tcp_port_heading(port_name) + ": " + tcp_failure_cause(port_name, error) + ".";
    }
    const std::string path = serial_device_path(port_name);
    const std::string device =
        path == port_name
            ? path
            : platform::translated("Ports", "%1 is %2").arg(port_name).arg(path).str();
    std::string text = device + ": " + open_failure_cause(path, error) + ".";
    if (error == ENOENT) text += existing_devices_sentence();
    return text;
}

int probe_serial_device(const std::string& path) {
    const int fd = open_serial_device(path);
    if (fd < 0) return errno;
    close_serial_device(fd);
    return 0;
}

std::string non_device_kind(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return platform::translated("Ports", "no such file");
    if (S_ISDIR(st.st_mode)) return platform::translated("Ports", "a folder, not a device");
    if (S_ISREG(st.st_mode)) return platform::translated("Ports", "a plain file, not a device");
    if (!S_ISCHR(st.st_mode)) return platform::translated("Ports", "not a character device");
    return {};
}

std::string describe_serial_device(const std::string& path, const std::string& sys) {
    const std::string name = canonical(path).substr(canonical(path).rfind('/') + 1);
    const std::string node = sys + "/" + name;
    if (starts_with_digits_after(name, "ttyS")) {
        const std::string type = first_line_of(node + "/type");
        if (type.empty() || type == "0")
            return platform::translated("Ports", "serial port, no UART detected");
        return platform::translated("Ports", "serial port (%1, UART type %2)")
            .arg(first_line_of(node + "/port"))
            .arg(type);
    }
    // USB adapters: the device's folder in sysfs is a few levels above the tty's.
    std::string usb = canonical(node + "/device");
    for (int up = 0; up < 4 && usb.size() > 1; ++up) {
        const std::string product = first_line_of(usb + "/product");
        if (!product.empty()) {
            const std::string maker = first_line_of(usb + "/manufacturer");
            return (starts_with_digits_after(name, "ttyACM")
                        ? platform::translated("Ports", "USB modem or board").str()
                        : platform::translated("Ports", "USB serial adapter").str()) +
                   ": " + (maker.empty() ? "" : maker + " ") + product + " (USB " +
                   first_line_of(usb + "/idVendor") + ":" + first_line_of(usb + "/idProduct") + ")";
        }
        usb = usb.substr(0, usb.rfind('/'));
    }
    if (starts_with_digits_after(name, "ttyUSB"))
        return platform::translated("Ports", "USB serial adapter");
    if (starts_with_digits_after(name, "ttyACM"))
        return platform::translated("Ports", "USB modem or board");
    // Pseudo-terminals (majors 136 to 143) and the terminals sysfs knows; any other character
    // device is not called a terminal (whether it is a port, opening it tells).
    if (auto kind = non_device_kind(path); !kind.empty()) return kind;
    struct stat st {};
    ::stat(path.c_str(), &st);
    const unsigned major_number = major(st.st_rdev);
    if ((major_number >= 136 && major_number <= 143) || ::access(node.c_str(), F_OK) == 0)
        return platform::translated("Ports", "terminal device");
    return platform::translated("Ports", "character device");
}

std::vector<SerialDeviceInfo> list_serial_devices(const std::string& dev, const std::string& sys) {
    std::vector<std::string> names;
    for (const auto& name : folder_entries(dev))
        if (is_serial_device_name(name)) names.push_back(name);
    std::sort(names.begin(), names.end(), natural_less);
    std::vector<SerialDeviceInfo> devices;
    for (const auto& name : names)
        devices.push_back({dev + "/" + name, describe_serial_device(dev + "/" + name, sys), {}});
    const std::string by_id = dev + "/serial/by-id";
    auto links = folder_entries(by_id);
    std::sort(links.begin(), links.end());
    for (const auto& link : links) {
        const std::string target = canonical(by_id + "/" + link);
        for (auto& device : devices)
            if (canonical(device.path) == target) device.aliases.push_back(by_id + "/" + link);
    }
    return devices;
}

}  // namespace kv::platform
