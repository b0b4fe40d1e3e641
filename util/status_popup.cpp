#include "util/status_popup.h"

namespace kv::util {

void close_status_popup() {}

}  // namespace kv::util
