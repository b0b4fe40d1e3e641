#pragma once
// The tokens of an expression's text.
#include <string>
#include <string_view>
#include <vector>

#include "xbase/value.h"

namespace kv::xbase::expr {

enum class TokenKind {
    End,
    Name,
    Literal,  // a character, numeric, date or logical constant
    LeftParen,
    RightParen,
    Comma,
    Arrow,       // ->
    BlockStart,  // {|| or {|params|
    BlockEnd,    // }
    Plus,
    Minus,
    Star,
    Slash,
    Percent,
    Power,  // ** or ^
    Eq,
    ExactEq,
    Ne,  // <> # !=
    Lt,
    Le,
    Gt,
    Ge,
    Dollar,
    And,
    Or,
    Not,  // .NOT. or !
};

struct Token {
    TokenKind kind = TokenKind::End;
    int position = 0;  // 1-based offset in the text
    std::string text;  // as written (a name in upper case)
    Value value;       // of a literal
    int decimals = 0;  // of a numeric literal
};

// The tokens of the text, ending with an End token; throws CompileError.
std::vector<Token> tokenize(std::string_view text);

}  // namespace kv::xbase::expr
