#include "printing/print_text.h"

#include <algorithm>

#include "platform/codepages.h"
#include "printing/font.h"
#include "printing/printer.h"
#include "util/settings.h"
#include "util/text.h"

namespace kv::printing {
namespace {

constexpr double kRows = 66;
constexpr double kColumns = 80;

// The module's position, shared by every printer.
double current_row = 0;
double line_step = 1;

bool needs_oem_conversion(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b >= 0x81 && b <= 0xA8;
    });
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i) text += ' ';
        text += lines[i];
    }
    return text;
}

// Extra width per blank that makes the text fill `free` device units.
double justification(const std::string& text, double free) {
    const auto blanks = std::count(text.begin(), text.end(), ' ');
    return blanks > 0 && free > 0 ? free / static_cast<double>(blanks) : 0;
}

}  // namespace

int left_margin() {
    return util::settings().print_margin;
}

double SETPROW(std::optional<double> row) {
    if (row) current_row = *row;
    return current_row;
}

double PFEED(std::optional<double> step) {
    if (step) line_step = *step;
    return line_step;
}

void PRINTBEGIN() {}
void PRINTEND() {}
void PAGEBEGIN() {}
void PAGEEND() {}

void PRINTTXT(const std::vector<std::string>& lines, TPrinter& printer,
              const TextOptions& options) {
    const bool go_on = options.column && *options.column == 0;
    const int bk_mode = options.background ? 2 : 1;
    const double column = options.column.value_or(0) + left_margin();
    const double horz = printer.nHorzRes();
    const double vert = printer.nVertRes();
    if (current_row == 0) current_row = 2 * vert / kRows;
    if (!options.column) current_row += line_step * vert / kRows;
    if (lines.empty()) return;

    std::string text = joined(lines);
    if (needs_oem_conversion(text)) text = platform::oem_to_ansi(text);
    std::optional<int> previous_background;
    if (options.background) previous_background = printer.set_background(*options.background);
    const int colour = options.colour.value_or(0);
    const double row = current_row;
    auto finish = [&] {
        printer.set_justification(0);
        if (previous_background) printer.set_background(*previous_background);
    };

    if (go_on) {
        printer.Say(row, 0, text, options.font, {}, colour, bk_mode, std::nullopt);
        finish();
        return;
    }
    Align align = Align::Left;
    if (options.right) {
        const double length = options.length.value_or(static_cast<double>(text.size()));
        printer.SetPos(row, (column + length) * horz / kColumns);
        align = Align::Right;
    } else if (options.centre) {
        printer.SetPos(
            row, options.length ? (column + *options.length / 2) * horz / kColumns : horz / 2);
        align = Align::Centre;
    } else {
        printer.SetPos(row, column * horz / kColumns);
        if (options.justify) {
            text = util::trim_blanks(text);
            if (!text.empty() && text.back() == PARAGRAPH_END) {
                text.pop_back();
            } else if (!text.empty()) {
                const double columns =
                    options.width ? *options.width : kColumns - (2 * left_margin() + column);
                const double free =
                    columns * horz / kColumns - printer.GetTextWidth(text, options.font);
                printer.set_justification(justification(text, free));
            }
        }
    }
    printer.align_on_current_position(align);
    if (options.width) {
        printer.Say(row, column * horz / kColumns, text, options.font,
                    *options.width * horz / kColumns, colour, bk_mode, align);
    } else {
        printer.Say(row, 0, text, options.font, {}, colour, bk_mode, std::nullopt);
    }
    finish();
}

std::string MEMOADJ(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool lone_lf = text[i] == '\n' && (i == 0 || text[i - 1] != '\r');
        const bool crlf = text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
        if ((lone_lf || crlf) && (out.empty() || out.back() != PARAGRAPH_END)) out += PARAGRAPH_END;
        out += text[i];
    }
    if (!out.empty() && out.back() != PARAGRAPH_END && out.back() != '\n') out += PARAGRAPH_END;
    return out;
}

std::vector<std::string> AMEMOLINE(const std::string& text, std::optional<int> width) {
    const std::size_t w =
        static_cast<std::size_t>(std::max(1, width.value_or(80 - 2 * left_margin())));
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string paragraph = text.substr(start, end - start);
        if (!paragraph.empty() && paragraph.back() == '\r') paragraph.pop_back();
        const bool mark = !paragraph.empty() && paragraph.back() == PARAGRAPH_END;
        if (mark) paragraph.pop_back();
        // Cut at the last blank that fits, or hard at the width when a word is longer.
        std::vector<std::string> cut;
        std::string rest = util::trim_trailing_blanks(paragraph);
        while (rest.size() > w) {
            std::size_t at = rest.rfind(' ', w);
            std::size_t next = at;
            if (at == std::string::npos || at == 0) at = next = w;
            cut.push_back(util::trim_trailing_blanks(rest.substr(0, at)));
            rest = rest.substr(std::min(rest.size(), rest.find_first_not_of(' ', next)));
        }
        cut.push_back(rest);
        if (mark) cut.back() += PARAGRAPH_END;
        lines.insert(lines.end(), cut.begin(), cut.end());
        if (end == text.size()) break;
        start = end + 1;
    }
    return lines;
}

void MEMOPRT(const std::string& text, const std::string& document) {
    TPrinter printer(PrinterOptions{document, false, false, std::nullopt, false});
    if (!printer.active()) return;
    TFont font("Courier New", 0, 10, printer);
    SETPROW(0);
    printer.StartPage();
    for (const std::string& line : AMEMOLINE(text, 80 - 2 * left_margin())) {
        if (SETPROW() >= 60 * printer.nVertRes() / kRows) {
            printer.EndPage();
            SETPROW(0);
            printer.StartPage();
        }
        std::string plain = line;
        if (!plain.empty() && plain.back() == PARAGRAPH_END) plain.pop_back();
        TextOptions options;
        options.font = &font;
        PRINTTXT({plain}, printer, options);
    }
    printer.EndPage();
    SETPROW(0);
    printer.End();
}

ScopedPrintPosition::ScopedPrintPosition() : row_(current_row), step_(line_step) {}
ScopedPrintPosition::~ScopedPrintPosition() {
    current_row = row_;
    line_step = step_;
}

}  // namespace kv::printing

namespace kv::printing {

bool next_line_fits(const TPrinter& printer) {
    const double unit = printer.nVertRes() / kRows;
    const double row = (current_row == 0 ? 2 * unit : current_row) + line_step * unit;
    return row <= kLastRow * unit + unit / 1000;
}

}  // namespace kv::printing
