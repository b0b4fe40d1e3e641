// kvfile: the device's stored files from the command line.
#include <iostream>
#include <string>
#include <vector>

#include "tools/kvfile/kvfile.h"

int main(int argc, char** argv) {
    return kv::kvfile::run(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
