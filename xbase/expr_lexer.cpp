#include "xbase/expr_lexer.h"

#include <cstdio>
#include <cstdlib>

#include "util/text.h"
#include "xbase/expr_node.h"

namespace kv::xbase::expr {
namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

[[noreturn]] void fail(int position, const std::string& message) {
    throw CompileError{position, message};
}

// "^yyyy-mm-dd" (or with / or . between the parts), blanks after it allowed.
util::Date strict_date(std::string inside, int position) {
    inside.resize(inside.find_last_not_of(" \t") + 1);
    int year = 0, month = 0, day = 0, used = 0;
    char first = 0, second = 0;
    const bool read = inside.size() > 1 && inside[0] == '^' &&
                      std::sscanf(inside.c_str() + 1, "%5d%c%2d%c%2d%n", &year, &first, &month,
                                  &second, &day, &used) == 5 &&
                      used + 1 == static_cast<int>(inside.size());
    const auto separator = [](char c) { return c == '-' || c == '/' || c == '.'; };
    const util::Date date = read && separator(first) && separator(second)
                                ? util::Date::of(year, month, day)
                                : util::Date();
    if (date.empty()) fail(position, "invalid date {" + inside + "}");
    return date;
}

// The kind (and for a logical, the value) of a word between points: T, Y, F, N, AND, OR, NOT;
// false for any other word.
bool dotted_word(const std::string& word, Token& token) {
    if (word == "T" || word == "Y" || word == "F" || word == "N") {
        token.kind = TokenKind::Literal;
        token.value = word == "T" || word == "Y";
    } else if (word == "AND") {
        token.kind = TokenKind::And;
    } else if (word == "OR") {
        token.kind = TokenKind::Or;
    } else if (word == "NOT") {
        token.kind = TokenKind::Not;
    } else {
        return false;
    }
    return true;
}

struct Symbol {
    std::string_view text;
    TokenKind kind;
};

// The operator or punctuation that the text starts with, nullptr for none.
const Symbol* symbol_at(std::string_view text) {
    // Longer symbols first.
    static constexpr Symbol kSymbols[] = {
        {"**", TokenKind::Power},  {"==", TokenKind::ExactEq},  {"<>", TokenKind::Ne},
        {"!=", TokenKind::Ne},     {"<=", TokenKind::Le},       {">=", TokenKind::Ge},
        {"->", TokenKind::Arrow},  {"(", TokenKind::LeftParen}, {")", TokenKind::RightParen},
        {",", TokenKind::Comma},   {"}", TokenKind::BlockEnd},  {"+", TokenKind::Plus},
        {"-", TokenKind::Minus},   {"*", TokenKind::Star},      {"/", TokenKind::Slash},
        {"%", TokenKind::Percent}, {"^", TokenKind::Power},     {"=", TokenKind::Eq},
        {"#", TokenKind::Ne},      {"<", TokenKind::Lt},        {">", TokenKind::Gt},
        {"$", TokenKind::Dollar},  {"!", TokenKind::Not},
    };
    for (const Symbol& symbol : kSymbols) {
        if (text.starts_with(symbol.text)) return &symbol;
    }
    return nullptr;
}

class Lexer {
  public:
    explicit Lexer(std::string_view text) : text_(text) {}

    std::vector<Token> run() {
        std::vector<Token> tokens;
        for (;;) {
            while (at_ < text_.size() && is_blank(text_[at_])) ++at_;
            Token token;
            token.position = static_cast<int>(at_) + 1;
            if (at_ == text_.size()) {
                tokens.push_back(std::move(token));
                return tokens;
            }
            read(token);
            tokens.push_back(std::move(token));
        }
    }

  private:
    char peek(std::size_t ahead = 0) const {
        return at_ + ahead < text_.size() ? text_[at_ + ahead] : '\0';
    }

    void read(Token& token) {
        const char c = peek();
        if (is_letter(c)) return name(token);
        if (is_digit(c) || (c == '.' && is_digit(peek(1)))) return number(token);
        if (c == '"' || c == '\'' || c == '[') return string(token, c == '[' ? ']' : c);
        if (c == '.') return dotted(token);
        if (c == '{') return brace(token);
        symbol(token);
    }

    void name(Token& token) {
        const std::size_t start = at_;
        while (is_letter(peek()) || is_digit(peek())) ++at_;
        token.kind = TokenKind::Name;
        token.text = util::ascii_upper(std::string(text_.substr(start, at_ - start)));
    }

    void number(Token& token) {
        const std::size_t start = at_;
        while (is_digit(peek())) ++at_;
        // A point belongs to the number unless a letter follows it (1.AND. ...).
        if (peek() == '.' && !is_letter(peek(1))) {
            ++at_;
            const std::size_t fraction = at_;
            while (is_digit(peek())) ++at_;
            token.decimals = static_cast<int>(at_ - fraction);
        }
        const std::string digits(text_.substr(start, at_ - start));
        token.kind = TokenKind::Literal;
        token.text = digits;
        token.value = std::strtod(digits.c_str(), nullptr);
    }

    void string(Token& token, char close) {
        const std::size_t end = text_.find(close, at_ + 1);
        if (end == std::string_view::npos) fail(token.position, "unterminated string");
        token.kind = TokenKind::Literal;
        token.value = std::string(text_.substr(at_ + 1, end - at_ - 1));
        token.text = std::string(text_.substr(at_, end - at_ + 1));
        at_ = end + 1;
    }

    // .T. .F. .Y. .N. .AND. .OR. .NOT.
    void dotted(Token& token) {
        const std::size_t end = text_.find('.', at_ + 1);
        const std::string word =
            end == std::string_view::npos
                ? std::string()
                : util::ascii_upper(std::string(text_.substr(at_ + 1, end - at_ - 1)));
        token.text = "." + word + ".";
        if (!dotted_word(word, token)) fail(token.position, "unexpected \".\"");
        at_ = end + 1;
    }

    // {^yyyy-mm-dd}, {} or { / / } (the empty date), or the start of a block {|| ...}.
    void brace(Token& token) {
        ++at_;
        while (is_blank(peek())) ++at_;
        if (peek() == '|') {
            const std::size_t bar = text_.find('|', at_ + 1);
            if (bar == std::string_view::npos) fail(token.position, "unterminated block");
            at_ = bar + 1;
            token.kind = TokenKind::BlockStart;
            token.text = "{||";
            return;
        }
        const std::size_t end = text_.find('}', at_);
        if (end == std::string_view::npos) fail(token.position, "\"}\" expected");
        std::string inside(text_.substr(at_, end - at_));
        at_ = end + 1;
        token.kind = TokenKind::Literal;
        token.text = "{" + inside + "}";
        if (inside.find_first_not_of(" /.-") == std::string::npos) {
            token.value = util::Date();
            return;
        }
        token.value = strict_date(inside, token.position);
    }

    void symbol(Token& token) {
        const Symbol* symbol = symbol_at(text_.substr(at_));
        if (!symbol) fail(token.position, "unexpected \"" + std::string(1, peek()) + "\"");
        token.kind = symbol->kind;
        token.text = symbol->text;
        at_ += token.text.size();
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

std::vector<Token> tokenize(std::string_view text) {
    return Lexer(text).run();
}

}  // namespace kv::xbase::expr
