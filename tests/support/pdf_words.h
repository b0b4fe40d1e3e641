#pragma once
// Reads back a PDF file with pdftotext -bbox: the words of each page with their boxes in points.
#include <regex>
#include <string>
#include <vector>

#include "tools/kvdev/child_process.h"

namespace kv::test {

struct PdfWord {
    std::string text;
    double x_min, y_min, x_max, y_max;
};
struct PdfPage {
    double width = 0, height = 0;
    std::vector<PdfWord> words;
};

inline std::vector<PdfPage> pdf_pages(const std::string& file) {
    dev::ChildProcess reader("/usr/bin/pdftotext", {"-bbox", file, "-"});
    reader.wait_exit(std::chrono::seconds(60));
    const std::string out = reader.out();
    std::vector<PdfPage> pages;
    static const std::regex page_re(R"re(<page width="([\d.]+)" height="([\d.]+)">)re");
    static const std::regex word_re(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
    std::size_t line_start = 0;
    while (line_start < out.size()) {
        std::size_t end = out.find('\n', line_start);
        if (end == std::string::npos) end = out.size();
        const std::string line = out.substr(line_start, end - line_start);
        std::smatch m;
        if (std::regex_search(line, m, page_re)) {
            pages.push_back({std::stod(m[1]), std::stod(m[2]), {}});
        } else if (!pages.empty() && std::regex_search(line, m, word_re)) {
            pages.back().words.push_back(
                {m[5], std::stod(m[1]), std::stod(m[2]), std::stod(m[3]), std::stod(m[4])});
        }
        line_start = end + 1;
    }
    return pages;
}

}  // namespace kv::test
