#include "core/bounded_write.h"

#include <poll.h>

#include <cerrno>

namespace kv::core {

std::size_t write_bounded(int fd, std::string_view bytes, std::chrono::milliseconds stall_limit,
                          const std::function<bool()>& give_up, const PieceWriter& write_piece) {
    constexpr auto kLook = std::chrono::milliseconds(50);  // between looks at give_up
    std::size_t done = 0;
    auto last_progress = std::chrono::steady_clock::now();
    while (done < bytes.size()) {
        if (give_up && give_up()) break;
        const long n = write_piece(bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            last_progress = std::chrono::steady_clock::now();
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            // In milliseconds: the limit may be the largest there is, which in the clock's own
            // unit would overflow.
            const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - last_progress);
            if (waited >= stall_limit) break;
            pollfd out{fd, POLLOUT, 0};
            ::poll(&out, 1, static_cast<int>(kLook.count()));
        } else {
            break;  // the line has failed or gone
        }
    }
    return done;
}

}  // namespace kv::core
