#include "db/db_errors.h"

namespace kv::db {

bool raise(int gencode, const std::string& description, const std::string& filename,
           const std::string& operation, int oscode, bool candefault, std::optional<long> subcode) {
    util::ErrorRecord record;
    record.gencode = gencode;
    record.subcode = subcode;
    record.oscode = oscode;
    record.subsystem = "DBF";
    record.description = description;
    record.filename = filename;
    record.operation = operation;
    record.candefault = candefault;
    util::raise_error(record);
    return true;
}

bool raise_corrupt(const std::string& filename, const std::string& operation,
                   const std::string& why) {
    return raise(kGenCorruption, "Corruption detected: " + why, filename, operation, 0, false,
                 kSubCorrupt);
}

}  // namespace kv::db
