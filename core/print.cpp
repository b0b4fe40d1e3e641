// "P": the device sends one line of text. Printing comes with the print subsystem; until then the
// line is read and acknowledged (Print never refuses), so the device is never left waiting.
#include "core/handler_support.h"
#include "core/handlers.h"

namespace kv::core {

void PRINT_(int port) {
    WAITSTRING();
    send_ok(port);
}

}  // namespace kv::core
