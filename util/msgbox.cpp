#include "util/msgbox.h"

#include "platform/keystate.h"

namespace kv::util {

bool GETASYNCKEYSTATE(int vk) { return platform::key_is_down(vk); }

std::string message_text(const std::string& text) { return text; }

std::optional<int> POPMSG(const std::string&, int, const std::optional<std::string>&) {
    return std::nullopt;
}

}  // namespace kv::util
