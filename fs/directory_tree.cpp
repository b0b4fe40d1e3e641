// The composites: attribute bit setters and the folder-tree copy and delete.
#include "fs/directory.h"
#include "platform/files.h"
#include "util/msgbox.h"

namespace kv::fs {

namespace pf = kv::platform;

void CLEARREADONLY(const OptPath&) {}
void CLEARHIDDEN(const OptPath&) {}
void CLEARSYSTEM(const OptPath&) {}
void SETHIDDEN(const OptPath&) {}
bool COPYDIR(const std::string&, const std::string&, bool) {
    return false;
}
bool DELETEDIR(const std::string&, bool) {
    return false;
}

}  // namespace kv::fs
