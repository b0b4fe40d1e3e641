#include "core/serial.h"

#include "core/log.h"

#include <sys/ioctl.h>

#include <cerrno>
#include <memory>
#include <utility>
#include <vector>

#include "core/port_line.h"
#include "core/protocol.h"
#include "core/pty_start.h"
#include "core/receive.h"
#include "core/serial_port.h"
#include "core/tcp_port.h"
#include "gui/pump.h"
#include "gui/window.h"
#include "platform/keystate.h"
#include "platform/serial_dcb.h"
#include "platform/serial_device.h"
#include "platform/serial_diagnosis.h"
#include "platform/tcp_line.h"
#include "util/abandon.h"
#include "util/msgbox.h"

namespace kv::core {

namespace {

// A port on a serial device or pseudo-terminal.
class SerialLine : public PortLine {
  public:
    explicit SerialLine(std::unique_ptr<SerialPort> port) : port_(std::move(port)) {}
    void set_notify_window(gui::Hwnd window) override { port_->set_notify_window(window); }
    std::size_t read(char* out, std::size_t capacity) override {
        return port_->read(out, capacity);
    }
    std::size_t write(std::string_view bytes) override { return port_->write(bytes); }
    std::size_t write_within(std::string_view bytes, const WriteLimits& limits) override {
        return port_->write(bytes, limits.stall_limit, limits.give_up, limits.through);
    }
    int device() const { return port_->device(); }
    std::optional<platform::Dcb> settings() override {
        return platform::read_device_dcb(port_->device());
    }
    bool apply_settings(const platform::Dcb& settings) override {
        if (!platform::apply_dcb_to_device(port_->device(), settings)) return false;
        port_->remember_settings(settings);
        return true;
    }
    std::size_t bytes_waiting() const override { return port_->ring().used(); }
    bool reader_running() const override { return port_->reader_running(); }

  private:
    std::unique_ptr<SerialPort> port_;
};

// The open ports by handle; a closed port's slot is reused. Window's thread only.
std::vector<std::unique_ptr<PortLine>>& ports() {
    static std::vector<std::unique_ptr<PortLine>> table;
    return table;
}

// For ports on a pseudo-terminal of the program's own: what is sent waits for the device.
std::vector<std::unique_ptr<PtyStartGate>>& start_gates() {
    static std::vector<std::unique_ptr<PtyStartGate>> table;
    return table;
}

PtyStartGate* start_gate_of(int handle) {
    auto& table = start_gates();
    if (handle < 0 || static_cast<std::size_t>(handle) >= table.size()) return nullptr;
    return table[static_cast<std::size_t>(handle)].get();
}

PortLine* port_of(int handle) {
    auto& table = ports();
    if (handle < 0 || static_cast<std::size_t>(handle) >= table.size()) return nullptr;
    return table[static_cast<std::size_t>(handle)].get();
}

int free_handle() {
    auto& table = ports();
    for (std::size_t i = 0; i < table.size(); ++i)
        if (!table[i]) return static_cast<int>(i);
    table.emplace_back();
    return static_cast<int>(table.size() - 1);
}

// The port name without the "\\.\" device prefix of its Windows form.
std::string bare_port_name(const std::string& name) {
    static const std::string prefix = "\\\\.\\";
    return name.compare(0, prefix.size(), prefix) == 0 ? name.substr(prefix.size()) : name;
}

struct OpenedDevice {
    int device = -1;
    int keep_open = -1;
    std::string pty_path;  // the device's side of a pseudo-terminal of the program's own
};

OpenedDevice open_device(const std::string& port_name) {
    if (!platform::is_pseudo_terminal_name(port_name))
        return {platform::open_serial_device(platform::serial_device_path(port_name)), -1, {}};
    auto pty = platform::open_pseudo_terminal();
    if (!pty) return {};
    log_line("Pseudo-terminal for the device: " + pty->slave_path);
    return {pty->master, pty->slave, pty->slave_path};
}

std::function<void()> hangup_end;

void log_reader_end(const std::string& port_name, const std::string& why) {
    gui::post_to_gui_thread([prefix = "Serial port " + port_name + ": " + why] {
        if (!hangup_end) return log_line(prefix + "; nothing more will be received.");
        log_line(prefix + "; ending, as --exit-on-hangup asks.");
        abandon_command();
        hangup_end();
    });
}

// A real device that disappears is waited for until it comes back under the same path.
SerialPort::Reopen reopen_plan(const std::string& port_name) {
    SerialPort::Reopen reopen;
    reopen.path = platform::serial_device_path(port_name);
    reopen.lost = [port_name](const std::string& why) {
        gui::post_to_gui_thread(
            [line = "Serial port " + port_name + ": " + why + "; waiting for it to come back."] {
                log_line(line);
                abandon_command();
            });
    };
    reopen.back = [port_name] {
        gui::post_to_gui_thread(
            [line = "Serial port " + port_name + ": the device is back."] { log_line(line); });
    };
    return reopen;
}

// What listening on every address means, in one line: who can now connect.
std::string every_address_line() {
    const auto& allowed = tcp_policy().allowed;
    if (allowed.empty())
        return "Listening on every address of this machine: anyone who can reach it can connect "
               "and read, write and erase the served files (--allow limits who may).";
    std::string networks;
    for (const auto& network : allowed) networks += (networks.empty() ? "" : ", ") + network.text;
    return "Listening on every address of this machine: only " + networks +
           " may connect (--allow); others are refused.";
}

// A port whose line is a TCP connection: the log tells where to connect, and each connection
// that comes, closes or is turned away.
std::unique_ptr<PortLine> open_tcp_port(int handle, const std::string& port_name) {
    const int listener = platform::listen_tcp(port_name);
    if (listener < 0) return nullptr;
    log_line("TCP address for the device: " + platform::local_address_text(listener));
    if (platform::listens_on_every_address(listener)) log_line(every_address_line());
    const std::string prefix = "Port " + port_name + ": ";
    TcpLine::Events events;
    events.connected = [prefix](const std::string& peer) {
        gui::post_to_gui_thread(
            [line = prefix + "connection from " + peer + "."] { log_line(line); });
    };
    // What the device sent before it went is still served; a command that waits for more is
    // given up once that has been taken (the line counts the departure).
    events.lost = [prefix](const std::string& peer) {
        gui::post_to_gui_thread([line = prefix + "the connection from " + peer +
                                        " closed; waiting for the next one."] { log_line(line); });
    };
    events.refused = [prefix](const std::string& peer, const std::string& served) {
        gui::post_to_gui_thread([line = prefix + "connection from " + peer +
                                        " turned away: the line serves " + served +
                                        "."] { log_line(line); });
    };
    events.not_allowed = [prefix](const std::string& peer) {
        gui::post_to_gui_thread(
            [line = prefix + "connection from " + peer +
                    " refused: not an address that --allow names."] { log_line(line); });
    };
    events.let_go = [prefix](const std::string& peer, const std::string& waiting) {
        gui::post_to_gui_thread([line = prefix + "the connection from " + peer +
                                        " was let go: it held the line silent while " + waiting +
                                        " waited."] { log_line(line); });
    };
    events.ended = [prefix](const std::string& why) {
        gui::post_to_gui_thread([line = prefix + why] {
            if (!hangup_end) return log_line(line + "; nothing more will be received.");
            log_line(line + "; ending, as --exit-on-hangup asks.");
            abandon_command();
            hangup_end();
        });
    };
    events.end_on_loss = static_cast<bool>(hangup_end);
    auto line = std::make_unique<TcpLine>(handle, listener, std::move(events));
    if (!line->start_reader()) return nullptr;
    return line;
}

// Where the failure box of the APRICOM in progress records that the user asked for the settings
// (nullptr: the box offers no settings).
bool* settings_asked = nullptr;

std::string port_box_note;

[[noreturn]] void fail(const std::string& text, const std::string& what_failed = {}) {
    std::string details = what_failed;
    if (!port_box_note.empty()) details += (details.empty() ? "" : "\n\n") + port_box_note;
    if (settings_asked)
        *settings_asked = util::popmsg_offering(text, details, kSettingsButton);
    else
        util::popmsg_with_details(text, 1, details);
    throw util::Abandon(text);
}

}  // namespace

int OPENCOMM(const std::string& name, int, int) {
    const std::string port_name = bare_port_name(name);
    if (platform::is_tcp_port_name(port_name)) {
        const int handle = free_handle();
        auto line = open_tcp_port(handle, port_name);
        if (!line) return -1;
        ports()[static_cast<std::size_t>(handle)] = std::move(line);
        return handle;
    }
    OpenedDevice opened = open_device(port_name);
    if (opened.device < 0) return -1;
    const int handle = free_handle();
    auto port = std::make_unique<SerialPort>(handle, port_name, opened.device, opened.keep_open);
    if (opened.pty_path.empty() && !hangup_end) port->set_reopen(reopen_plan(port_name));
    if (!port->start_reader(
            [port_name](const std::string& why) { log_reader_end(port_name, why); }))
        return -1;  // the record, and with it the device, is released on the way out
    ports()[static_cast<std::size_t>(handle)] = std::make_unique<SerialLine>(std::move(port));
    auto& gates = start_gates();
    if (gates.size() <= static_cast<std::size_t>(handle)) gates.resize(handle + 1);
    // A device that goes away wakes the window's thread, whose waits then give the command up.
    if (!opened.pty_path.empty())
        gates[static_cast<std::size_t>(handle)] =
            std::make_unique<PtyStartGate>(opened.device, opened.keep_open, opened.pty_path,
                                           [] { gui::post_to_gui_thread([] {}); });
    return handle;
}

ScopedHangupEnd::ScopedHangupEnd(std::function<void()> end) : previous_(std::move(hangup_end)) {
    hangup_end = std::move(end);
}

ScopedHangupEnd::~ScopedHangupEnd() {
    hangup_end = std::move(previous_);
}

bool CLOSECOMM(int handle) {
    if (!port_of(handle)) return false;
    if (start_gate_of(handle)) start_gates()[static_cast<std::size_t>(handle)].reset();
    ports()[static_cast<std::size_t>(handle)].reset();  // joins the reader, closes the device
    return true;
}

namespace {
std::chrono::milliseconds stall_limit_now = kDefaultStallLimit;
}  // namespace

void set_stall_limit(std::chrono::milliseconds limit) {
    stall_limit_now = limit;
}

std::chrono::milliseconds stall_limit() {
    return stall_limit_now;
}

std::string stall_limit_text() {
    const auto ms = stall_limit_now.count();
    std::string text = std::to_string(ms / 1000);
    if (ms % 1000 != 0) {
        std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
        while (fraction.back() == '0') fraction.pop_back();
        text += "." + fraction;
    }
    return text + (ms == 1000 ? " second" : " seconds");
}

int WRITECOMM(int handle, std::string_view bytes) {
    auto* port = port_of(handle);
    if (!port) return 0;
    auto* gate = start_gate_of(handle);
    if (gate && gate->hold(bytes, departures_at_command(handle), arrivals_at_command(handle)))
        return static_cast<int>(bytes.size());
    // A device that takes nothing for the stall limit is given up, as is every write once
    // the program is ending or the device has gone, or Esc is held during a command. While the
    // line takes nothing the window's events run, so that an Esc pressed meanwhile is seen.
    WriteLimits limits;
    limits.stall_limit = stall_limit_now;
    limits.give_up = [first = true]() mutable {
        if (!first && command_in_progress()) gui::SYSREFRESH();
        first = false;
        return platform::termination_requested() || device_gone_during_command() ||
               (command_in_progress() && esc_held());
    };
    if (gate)
        limits.through = [gate, since = departures_at_command(handle)](const char* data,
                                                                       std::size_t n) {
            return gate->write(data, n, since);
        };
    return static_cast<int>(port->write_within(bytes, limits));
}

int READCOMM(int handle, std::string& buffer) {
    auto* port = port_of(handle);
    return port ? static_cast<int>(port->read(buffer.data(), buffer.size())) : 0;
}

bool BUILDCOMMDCB(const std::string& mode, std::string& block, int handle) {
    platform::Dcb dcb;
    if (auto* port = port_of(handle))
        if (auto current = port->settings()) dcb = *current;
    if (!platform::apply_mode_string(mode, dcb)) {
        block.clear();
        return false;
    }
    block = platform::serialise_dcb(dcb);
    return true;
}

bool SETCOMMSTATE(int handle, const std::string& block) {
    auto* port = port_of(handle);
    auto dcb = platform::parse_dcb(block);
    return port && dcb && port->apply_settings(*dcb);
}

bool ENABLECOMMNOTIFICATION(int handle, gui::Hwnd window, int, int) {
    auto* port = port_of(handle);
    if (!port) return false;
    port->set_notify_window(window);
    return true;
}

std::string RECEIVESTR(int handle) {
    std::string buffer(kReceivePieceSize, ' ');
    buffer.resize(static_cast<std::size_t>(READCOMM(handle, buffer)));
    return buffer;
}

void install_connect_handler(gui::Window& window) {
    window.set_comm_notify_handler([hwnd = window.handle()](std::intptr_t port, std::intptr_t) {
        CONNECT(static_cast<int>(port));
        ENABLECOMMNOTIFICATION(static_cast<int>(port), hwnd, 1, -1);
    });
}

namespace {

// The port whose ring still held bytes when the receive buffer was full; -1 for none.
int held_back_port = -1;

// The ring's bytes in pieces until it is empty or the receive buffer holds kReceiveBufferHeld.
void drain_ring(int handle) {
    std::string piece;
    do {
        if (receive_buffer().size() >= kReceiveBufferHeld) {
            // The rest waits in the ring, and beyond it in the driver or the connection, until
            // the buffer has been taken: a device that sends faster than the program reads is
            // held back there, and the program's memory does not grow with it.
            held_back_port = handle;
            return;
        }
        piece = RECEIVESTR(handle);
        receive_buffer().append(piece);
    } while (piece.size() == kReceivePieceSize);
    if (held_back_port == handle) held_back_port = -1;
}

}  // namespace

void CONNECT(int handle) {
    ENABLECOMMNOTIFICATION(handle, 0, 1, -1);
    // The whole ring, not one piece: bytes left behind would wait for the device's next byte,
    // and a device waiting for an answer sends none.
    drain_ring(handle);
}

void drop_held_back_bytes() {
    if (held_back_port < 0) return;
    const int handle = std::exchange(held_back_port, -1);
    if (!port_of(handle)) return;
    std::string piece;
    do piece = RECEIVESTR(handle);
    while (piece.size() == kReceivePieceSize);
}

void refill_receive_buffer() {
    if (held_back_port < 0) return;
    if (!port_of(held_back_port)) {
        held_back_port = -1;
        return;
    }
    drain_ring(held_back_port);
}

std::size_t bytes_in_ring(int handle) {
    auto* port = port_of(handle);
    return port ? port->bytes_waiting() : 0;
}

bool reader_running(int handle) {
    auto* port = port_of(handle);
    return port && port->reader_running();
}

void send_in_pieces(std::string_view bytes, const std::function<void(std::string_view)>& write) {
    while (!bytes.empty()) {
        auto piece = bytes.substr(0, kSendPieceSize);
        write(piece);
        bytes.remove_prefix(piece.size());
    }
}

bool device_departed(int handle) {
    if (auto* gate = start_gate_of(handle)) return gate->departed();
    auto* port = port_of(handle);
    return port && port->departed();
}

bool connection_departed(int handle) {
    auto* port = port_of(handle);
    return port && !start_gate_of(handle) && port->departed();
}

std::uint64_t port_departures(int handle, bool settled) {
    if (auto* gate = start_gate_of(handle)) return gate->departures(settled);
    auto* port = port_of(handle);
    return port ? port->departures(settled) : 0;
}

std::uint64_t port_arrivals(int handle) {
    auto* gate = start_gate_of(handle);
    return gate ? gate->arrivals() : 0;
}

std::uint64_t device_departures(bool settled) {
    std::uint64_t count = 0;
    for (std::size_t i = 0; i < ports().size(); ++i)
        if (ports()[i]) count += port_departures(static_cast<int>(i), settled);
    return count;
}

bool bytes_on_the_way() {
    auto& table = ports();
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (!table[i]) continue;
        int queued = 0;
        if (table[i]->bytes_waiting() > 0) return true;
        auto* line = dynamic_cast<SerialLine*>(table[i].get());
        if (line && start_gate_of(static_cast<int>(i)) &&
            ::ioctl(line->device(), FIONREAD, &queued) == 0 && queued > 0)
            return true;
    }
    return false;
}

void close_departures() {
    for (auto& line : ports())
        if (line) line->close_departures();
    for (auto& gate : start_gates())
        if (gate) gate->close_departures();
}

void note_device_wait(bool waiting, bool restart) {
    for (auto& line : ports())
        if (line) line->device_wait(waiting, restart);
}

void SENDSTR(int handle, std::string_view bytes) {
    if (!port_of(handle)) return;
    send_in_pieces(bytes, [handle](std::string_view piece) {
        // A device that has gone takes nothing more of the answer, nor does one that came after it.
        auto gone = [handle] { return device_departed(handle) || device_gone_during_command(); };
        if (gone()) throw DeviceGone{};
        if (static_cast<std::size_t>(WRITECOMM(handle, piece)) == piece.size()) return;
        if (platform::termination_requested()) throw Terminated{};
        if (gone()) throw DeviceGone{};
        if (command_in_progress() && esc_held())
            throw Abandoned{"The command was abandoned: Esc was pressed."};
        throw Abandoned{"The command was abandoned: the device took nothing for " +
                        stall_limit_text() + "."};
    });
}

std::string open_failure_text(const std::string& port_name) {
    return "Errore di apertura della porta di comunicazione (" + port_name + ").";
}

std::string parameters_failure_text(const std::string& port_name) {
    return "Errore di impostazione dei parametri di comunicazione (" + port_name + ").";
}

std::string settings_failure_text(const std::string& port_name) {
    return "Errore di impostazione della porta di comunicazione (" + port_name + ").";
}

std::string notification_failure_text(const std::string& port_name) {
    return "Errore di abilitazione della notifica (" + port_name + ").";
}

ScopedPortBoxNote::ScopedPortBoxNote(std::string note) : previous_(std::move(port_box_note)) {
    port_box_note = std::move(note);
}

ScopedPortBoxNote::~ScopedPortBoxNote() {
    port_box_note = std::move(previous_);
}

int APRICOM(gui::Window& window, const std::string& port_name, bool* wants_settings) {
    int handle = -1;
    if (wants_settings) *wants_settings = false;
    struct Offer {
        explicit Offer(bool* asked) : previous(settings_asked) { settings_asked = asked; }
        ~Offer() { settings_asked = previous; }
        bool* previous;
    } offer(wants_settings);
    try {
        handle = OPENCOMM("\\\\.\\" + port_name, 16384, 16384);
        if (handle < 0) {
            const int error = errno;
            fail(open_failure_text(port_name), platform::open_failure_details(port_name, error));
        }
        std::string block;
        if (!BUILDCOMMDCB("57600,N,8,1", block, handle)) fail(parameters_failure_text(port_name));
        if (!SETCOMMSTATE(handle, block)) fail(settings_failure_text(port_name));
        install_connect_handler(window);
        if (!ENABLECOMMNOTIFICATION(handle, window.handle(), 1, -1))
            fail(notification_failure_text(port_name));
        return handle;
    } catch (const util::Abandon&) {
        if (handle >= 0) CLOSECOMM(handle);
        return -1;
    }
}

}  // namespace kv::core
