#include "core/receive_buffer.h"

namespace kv::core {

ReceiveBuffer& receive_buffer() {
    static ReceiveBuffer buffer;
    return buffer;
}

std::string GETCHAR() {
    return receive_buffer().take_front();
}

}  // namespace kv::core
