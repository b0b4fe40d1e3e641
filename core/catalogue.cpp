// "C": the PC lists folders and stored files in 32-character lines, each acknowledged by the
// device, then the free space and the number of stored files listed.
#include <vector>

#include "core/catalogue_listing.h"
#include "core/handler_support.h"
#include "core/handlers.h"
#include "core/progress.h"
#include "platform/texts.h"

namespace kv::core {
namespace {

class LineSender {
  public:
    explicit LineSender(int port) : port_(port) {}
    // Sends one line and waits (at most 2 seconds) for the device's acknowledgement.
    void send(const std::string& line) {
        abandon_if_esc("The catalogue");
        send_unless_esc(port_, line, "The catalogue");
        WAITNEXT();
    }

  private:
    int port_;
};

}  // namespace

void CAT(int port) {
    const std::string received = wait_name();
    abandon_if_esc_interrupted(port, "The catalogue");
    if (longer_than_a_path(received)) return refuse(port, received, "longer than a path can be");
    send_ok(port);
    const Listing listed = list_catalogue(received);
    const std::vector<std::string> lines = catalogue_lines(listed, catalogue_free_bytes());
    const std::string pattern = catalogue_search_pattern(received);

    // Each line is acknowledged by the device (at most 2 seconds' wait) before the next.
    Progress progress(platform::translated("Progress", "Listing %1")
                          .arg(pattern.empty() ? std::string("*") : pattern),
                      lines.size(), platform::translated("Progress", "lines"));
    LineSender listing(port);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        listing.send(lines[i]);
        progress.advance(i + 1);
    }
    SENDSTR(port, std::string(1, '\0'));
    log_outcome(counted(listed.entries.size(), "entry", "entries") + " listed");
}

}  // namespace kv::core
