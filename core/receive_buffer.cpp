#include "core/receive_buffer.h"

#include "core/serial.h"

namespace kv::core {

ReceiveBuffer& receive_buffer() {
    static ReceiveBuffer buffer;
    return buffer;
}

std::string GETCHAR() {
    // Bytes held back in a port's ring while the buffer was full come in once it is empty.
    if (receive_buffer().empty()) refill_receive_buffer();
    return receive_buffer().take_front();
}

}  // namespace kv::core
