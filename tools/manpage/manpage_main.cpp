// kv_manpage SOURCE VERSION HEADER MANPAGE: makes a program's help header and manual page from
// its manual source (see docs/manual-pages.md). Run by the build.
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "tools/manpage/manual.h"

namespace {

bool write_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: kv_manpage SOURCE VERSION HEADER MANPAGE\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "kv_manpage: cannot read " << argv[1] << '\n';
        return 1;
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::string error;
    auto source = kv::manual::parse_manual_source(text, error);
    if (!source) {
        std::cerr << argv[1] << ":1: " << error << '\n';
        return 1;
    }
    if (!write_file(argv[3], kv::manual::help_header(*source)) ||
        !write_file(argv[4], kv::manual::man_page(*source, argv[2]))) {
        std::cerr << "kv_manpage: cannot write " << argv[3] << " or " << argv[4] << '\n';
        return 1;
    }
    return 0;
}
