// Windows wildcard matching. The pattern is first turned into the file system's DOS forms, as
// Windows does before a directory search: "?" may match nothing at a "." or at the end of the
// name, "*" before a "." stops at the name's last ".", and a "." before "*"/"?" or at the end of
// the pattern may match the end of the name.
#include <vector>

#include "platform/files.h"

namespace kv::platform {

namespace {

enum class Kind { Literal, Star, DosStar, DosQm, DosDot };

struct Token {
    Kind kind;
    char c = 0;
};

std::vector<Token> dos_tokens(const std::string& pattern) {
    std::vector<Token> tokens;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (c == '?') {
            tokens.push_back({Kind::DosQm});
        } else if (c == '*') {
            // After "*", another "*" (or a "*" before a ".") matches nothing more: a run of
            // asterisks costs the work of one.
            if (!tokens.empty() && tokens.back().kind == Kind::Star) continue;
            tokens.push_back({next == '.' ? Kind::DosStar : Kind::Star});
        } else if (c == '.' && (next == '?' || next == '*' || next == '\0')) {
            tokens.push_back({Kind::DosDot});
        } else {
            tokens.push_back({Kind::Literal, c});
        }
    }
    return tokens;
}

// Dynamic programming over (token, name position): at[t][i] is true when tokens t.. match name
// from position i on.
class Matcher {
  public:
    Matcher(std::vector<Token> tokens, const std::string& name)
        : tokens_(std::move(tokens)),
          name_(name),
          last_dot_(name.rfind('.') == std::string::npos ? name.size() : name.rfind('.')) {}

    bool run() {
        const std::size_t t_count = tokens_.size(), n = name_.size();
        std::vector<std::vector<char>> at(t_count + 1, std::vector<char>(n + 1, 0));
        at[t_count][n] = 1;
        for (std::size_t t = t_count; t-- > 0;) {
            for (std::size_t i = n + 1; i-- > 0;) at[t][i] = step(at, t, i);
        }
        return at[0][0] != 0;
    }

  private:
    char step(const std::vector<std::vector<char>>& at, std::size_t t, std::size_t i) const {
        const std::size_t n = name_.size();
        const Token& token = tokens_[t];
        switch (token.kind) {
            case Kind::Literal:
                return i < n &&
                       names_equal_ignoring_case(std::string(1, name_[i]),
                                                 std::string(1, token.c)) &&
                       at[t + 1][i + 1];
            case Kind::Star:
                return at[t + 1][i] || (i < n && at[t][i + 1]);
            case Kind::DosStar:
                return at[t + 1][i] || (i < last_dot_ && at[t][i + 1]);
            case Kind::DosQm:
                if (i == n || name_[i] == '.') return at[t + 1][i];
                return at[t + 1][i + 1];
            case Kind::DosDot:
                if (i < n && name_[i] == '.') return at[t + 1][i + 1];
                return i == n && at[t + 1][i];
        }
        return 0;
    }

    std::vector<Token> tokens_;
    const std::string& name_;
    std::size_t last_dot_;
};

}  // namespace

bool has_wildcards(const std::string& name) {
    return name.find_first_of("*?") != std::string::npos;
}

bool wildcard_match(const std::string& pattern, const std::string& name) {
    if (pattern == "*" || pattern == "*.*") return true;
    std::vector<Token> tokens = dos_tokens(pattern);
    // Each literal takes one character of the name: more literals than characters never match.
    std::size_t literals = 0;
    for (const auto& token : tokens) literals += token.kind == Kind::Literal ? 1 : 0;
    if (literals > name.size()) return false;
    return Matcher(std::move(tokens), name).run();
}

}  // namespace kv::platform
