#pragma once
// kvdev's disk commands: the device's side of Save, Load, Erase and Catalogue, in plain words.
#include <iosfwd>

#include "tools/kvdev/cli.h"

namespace kv::dev {

int cli_save(DeviceLink& link, const Invocation& inv, std::ostream& out, std::ostream& err);
int cli_load(DeviceLink& link, const Invocation& inv, std::ostream& out, std::ostream& err);
int cli_erase(DeviceLink& link, const Invocation& inv, std::ostream& out, std::ostream& err);
int cli_cat(DeviceLink& link, const Invocation& inv, std::ostream& out, std::ostream& err);
int cli_mkdir(DeviceLink& link, const Invocation& inv, std::ostream& out, std::ostream& err);
int cli_cd(DeviceLink& link, const Invocation& inv, std::ostream& out, std::ostream& err);
int cli_rmdir(DeviceLink& link, const Invocation& inv, std::ostream& out, std::ostream& err);

}  // namespace kv::dev
