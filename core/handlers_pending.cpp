// Handlers whose commands are not served yet: they consume nothing and answer nothing, so the
// device sees no reply, as for a byte that is not a command.
#include "core/handlers.h"

namespace kv::core {

void SAVE(int) {}
void LOAD(int) {}
void ERASE_(int) {}
void CAT(int) {}
void PRINT_(int) {}

}  // namespace kv::core
