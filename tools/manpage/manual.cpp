#include "tools/manpage/manual.h"

#include <cctype>
#include <sstream>
#include <vector>

namespace kv::manual {
namespace {

constexpr std::string_view kManualMark = ".manual";

std::vector<std::string> split_lines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::size_t indent_of(const std::string& line) {
    std::size_t n = 0;
    while (n < line.size() && line[n] == ' ') ++n;
    return n;
}

bool is_blank(const std::string& line) {
    return indent_of(line) == line.size();
}

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Text as roff reads it: backslashes and minus signs kept, no line taken for a request.
std::string escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

bool is_metavariable(const std::string& word) {
    bool letter = false;
    for (char c : word) {
        if (std::isupper(static_cast<unsigned char>(c)))
            letter = true;
        else if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.' && c != '_')
            return false;
    }
    return letter;
}

// A term of a list: its first word and options in bold, NAME-like words in italics.
std::string format_term(const std::string& term) {
    std::istringstream words(term);
    std::string word, out;
    bool first = true;
    while (words >> word) {
        if (!out.empty()) out += ' ';
        std::size_t lead = 0, trail = word.size();
        while (lead < trail && (word[lead] == '[' || word[lead] == '(')) ++lead;
        while (trail > lead &&
               std::string_view("]).,|").find(word[trail - 1]) != std::string_view::npos)
            --trail;
        const std::string core = word.substr(lead, trail - lead);
        std::string styled = escape(core);
        if (!core.empty() && (first || core[0] == '-'))
            styled = "\\fB" + styled + "\\fR";
        else if (is_metavariable(core))
            styled = "\\fI" + styled + "\\fR";
        out += escape(word.substr(0, lead)) + styled + escape(word.substr(trail));
        first = false;
    }
    return out;
}

bool is_heading(const std::string& line) {
    return !line.empty() && line[0] != ' ' && line.back() == ':' &&
           line.find(". ") == std::string::npos && line.size() < 40;
}

// Writes the body of the page from the layout rules of docs/manual-pages.md.
class PageWriter {
  public:
    explicit PageWriter(std::string program) : program_(std::move(program)) {}

    void line(const std::string& text) {
        if (is_blank(text)) return blank();
        const std::size_t indent = indent_of(text);
        if (text.rfind("Usage:", 0) == 0) return synopsis(text.substr(6));
        if (mode_ == Mode::kSynopsis && indent > 0) return synopsis(text);
        if (mode_ == Mode::kSynopsis) end_block();
        if (is_heading(text)) return heading(text.substr(0, text.size() - 1));
        if (indent == 0) return paragraph(text);
        if (indent >= 4 && (mode_ == Mode::kItem || mode_ == Mode::kItemText))
            return item_text(text.substr(indent));
        if (indent >= 4) return verbatim(text);
        item(text.substr(indent));
    }

    std::string finish() {
        end_block();
        return out_.str();
    }

  private:
    enum class Mode { kNone, kSynopsis, kParagraph, kItem, kItemText, kVerbatim };

    void blank() {
        end_block();
        mode_ = Mode::kNone;
    }
    void end_block() {
        if (mode_ == Mode::kVerbatim) out_ << ".fi\n.RE\n";
        if (mode_ == Mode::kSynopsis) section_ = "";
        mode_ = Mode::kNone;
    }
    void ensure_section(const std::string& name) {
        if (section_.empty()) {
            section_ = name;
            out_ << ".SH " << name << '\n';
        }
    }
    void synopsis(std::string text) {
        std::size_t start = text.find_first_not_of(' ');
        text = start == std::string::npos ? "" : text.substr(start);
        if (text.rfind("or:", 0) == 0) text = text.substr(text.find_first_not_of(' ', 3));
        if (mode_ != Mode::kSynopsis) {
            out_ << ".SH SYNOPSIS\n";
            section_ = "SYNOPSIS";
        } else {
            out_ << ".br\n";
        }
        mode_ = Mode::kSynopsis;
        out_ << format_term(text) << '\n';
    }
    void heading(const std::string& name) {
        end_block();
        section_ = upper(name);
        out_ << ".SH " << section_ << '\n';
    }
    void paragraph(const std::string& text) {
        ensure_section("DESCRIPTION");
        if (mode_ != Mode::kParagraph) out_ << ".PP\n";
        mode_ = Mode::kParagraph;
        out_ << escape(text) << '\n';
    }
    // "  TERM    description" or "  TERM" alone, its description on the following lines.
    void item(const std::string& text) {
        end_block();
        ensure_section("DESCRIPTION");
        const std::size_t gap = text.find("  ");
        out_ << ".TP\n" << format_term(text.substr(0, gap)) << '\n';
        mode_ = Mode::kItem;
        if (gap != std::string::npos) item_text(text.substr(text.find_first_not_of(' ', gap)));
    }
    void item_text(const std::string& text) {
        mode_ = Mode::kItemText;
        out_ << escape(text) << '\n';
    }
    void verbatim(const std::string& text) {
        ensure_section("DESCRIPTION");
        if (mode_ != Mode::kVerbatim) {
            end_block();
            out_ << ".PP\n.RS 4\n.nf\n";
        }
        mode_ = Mode::kVerbatim;
        out_ << escape(text.substr(4)) << '\n';
    }

    std::string program_;
    std::ostringstream out_;
    std::string section_;
    Mode mode_ = Mode::kNone;
};

std::string identifier(const std::string& name) {
    std::string out;
    for (char c : name) out += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    if (out.empty() || std::isdigit(static_cast<unsigned char>(out[0]))) out.insert(0, "_");
    return out;
}

std::string c_string_literal(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n\"\n    \"";
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace

std::optional<ManualSource> parse_manual_source(std::string_view text, std::string& error) {
    const auto lines = split_lines(text);
    ManualSource source;
    const std::string first = lines.empty() ? "" : lines[0];
    const std::size_t dash = first.find(" - ");
    if (dash == std::string::npos || dash == 0 || first.find(' ') < dash) {
        error = "the first line must be \"PROGRAM - one-line summary\"";
        return std::nullopt;
    }
    source.program = first.substr(0, dash);
    source.summary = first.substr(dash + 3);
    std::size_t i = 1;
    while (i < lines.size() && is_blank(lines[i])) ++i;
    std::string* part = &source.help;
    for (; i < lines.size(); ++i) {
        if (lines[i] == kManualMark) {
            part = &source.manual_only;
            continue;
        }
        *part += lines[i] + '\n';
    }
    while (source.help.size() >= 2 && source.help.ends_with("\n\n")) source.help.pop_back();
    if (source.help.empty()) {
        error = "no help text follows the first line";
        return std::nullopt;
    }
    return source;
}

std::string help_header(const ManualSource& source) {
    return "// Generated from the manual source of " + source.program +
           "; edit that file, not this one.\n#pragma once\n\nnamespace kv::help {\n"
           "inline constexpr char " +
           identifier(source.program) + "[] =\n    " + c_string_literal(source.help) +
           ";\n}  // namespace kv::help\n";
}

std::string man_page(const ManualSource& source, const std::string& version) {
    PageWriter writer(source.program);
    for (const auto& line : split_lines(source.help)) writer.line(line);
    writer.line("");
    for (const auto& line : split_lines(source.manual_only)) writer.line(line);
    return ".TH " + upper(source.program) + " 1 \"\" \"KV32 " + version +
           "\" \"User Commands\"\n.SH NAME\n" + escape(source.program) + " \\- " +
           escape(source.summary) + '\n' + writer.finish();
}

}  // namespace kv::manual
