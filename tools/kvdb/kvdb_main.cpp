// kvdb: keeping tables from the command line.
#include <iostream>
#include <string>
#include <vector>

#include "tools/kvdb/kvdb.h"

int main(int argc, char** argv) {
    return kv::kvdb::run(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
