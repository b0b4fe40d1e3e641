// From tokens to the tree, by recursive descent. From the loosest binding to the tightest:
// .OR., .AND., .NOT. (and !), the comparisons, + and -, * / and %, ** and ^, the signs.
#include <optional>

#include "xbase/expr_lexer.h"
#include "xbase/expr_node.h"
#include "xbase/expression.h"

namespace kv::xbase::expr {
namespace {

constexpr std::size_t kFieldNameLength = 10;

// The tokens of a text and the parser's place in them.
class TokenCursor {
  public:
    explicit TokenCursor(std::string_view text) : tokens_(tokenize(text)) {}

    const Token& current() const { return tokens_[at_]; }
    bool at(TokenKind kind) const { return current().kind == kind; }
    const Token& advance() { return tokens_[at_ < tokens_.size() - 1 ? at_++ : at_]; }
    bool next_is(TokenKind kind) const {
        return at_ + 1 < tokens_.size() && tokens_[at_ + 1].kind == kind;
    }

    [[noreturn]] void unexpected(const std::string& wanted) const {
        const Token& token = current();
        const std::string found =
            token.kind == TokenKind::End ? "end of expression" : "\"" + token.text + "\"";
        throw CompileError{token.position, wanted + " expected, " + found + " found"};
    }

    void expect(TokenKind kind, const std::string& wanted) {
        if (!at(kind)) unexpected(wanted);
        advance();
    }

  private:
    std::vector<Token> tokens_;
    std::size_t at_ = 0;
};

// The operator that a token stands for at the level of the comparisons, or nothing.
std::optional<BinaryOp> comparison_op(TokenKind kind) {
    switch (kind) {
        case TokenKind::Eq:
            return BinaryOp::Eq;
        case TokenKind::ExactEq:
            return BinaryOp::ExactEq;
        case TokenKind::Ne:
            return BinaryOp::Ne;
        case TokenKind::Lt:
            return BinaryOp::Lt;
        case TokenKind::Le:
            return BinaryOp::Le;
        case TokenKind::Gt:
            return BinaryOp::Gt;
        case TokenKind::Ge:
            return BinaryOp::Ge;
        case TokenKind::Dollar:
            return BinaryOp::Contains;
        default:
            return std::nullopt;
    }
}

// The same at the level of * / and %.
std::optional<BinaryOp> product_op(TokenKind kind) {
    switch (kind) {
        case TokenKind::Star:
            return BinaryOp::Mul;
        case TokenKind::Slash:
            return BinaryOp::Div;
        case TokenKind::Percent:
            return BinaryOp::Mod;
        default:
            return std::nullopt;
    }
}

// The node of a field named in the text (alias empty: the expression's own table); a name longer
// than a field name may be stands for its first ten characters.
NodePtr bind_field(const FieldBinder& binder, const std::string& alias, const std::string& name,
                   int position) {
    std::optional<int> slot = binder.bind(alias, name);
    if (!slot && name.size() > kFieldNameLength) {
        slot = binder.bind(alias, std::string_view(name).substr(0, kFieldNameLength));
    }
    if (!slot) {
        const std::string full = alias.empty() ? name : alias + "->" + name;
        throw CompileError{position, "unknown field " + full};
    }
    return make_field(*slot, binder.shape(*slot), position);
}

class Parser {
  public:
    Parser(std::string_view text, const FieldBinder& binder) : tokens_(text), binder_(binder) {}

    NodePtr whole() {
        if (at(TokenKind::BlockStart)) {  // {|| expression }, as view requests write it
            advance();
            NodePtr body =
                at(TokenKind::BlockEnd) ? make_literal(Nil{}, current().position) : disjunction();
            expect(TokenKind::BlockEnd, "\"}\"");
            expect(TokenKind::End, "end of expression");
            return body;
        }
        if (at(TokenKind::End)) throw CompileError{current().position, "empty expression"};
        NodePtr node = disjunction();
        expect(TokenKind::End, "end of expression");
        return node;
    }

  private:
    const Token& current() const { return tokens_.current(); }
    bool at(TokenKind kind) const { return tokens_.at(kind); }
    const Token& advance() { return tokens_.advance(); }
    void expect(TokenKind kind, const std::string& wanted) { tokens_.expect(kind, wanted); }

    // Counts the levels of nesting of the text while they are parsed.
    class Nesting {
      public:
        explicit Nesting(Parser& parser) : parser_(parser) {
            if (++parser_.nesting_ > kMaxDepth) {
                throw CompileError{parser_.current().position, "expression nested too deeply"};
            }
        }
        ~Nesting() { --parser_.nesting_; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;

      private:
        Parser& parser_;
    };

    NodePtr disjunction() {
        const Nesting nesting(*this);
        NodePtr node = conjunction();
        while (at(TokenKind::Or)) {
            const int position = advance().position;
            node = make_binary(BinaryOp::Or, std::move(node), conjunction(), position);
        }
        return node;
    }

    NodePtr conjunction() {
        NodePtr node = negation();
        while (at(TokenKind::And)) {
            const int position = advance().position;
            node = make_binary(BinaryOp::And, std::move(node), negation(), position);
        }
        return node;
    }

    NodePtr negation() {
        if (at(TokenKind::Not)) {
            const Nesting nesting(*this);
            const int position = advance().position;
            return make_unary(UnaryOp::Not, negation(), position);
        }
        return comparison();
    }

    NodePtr comparison() {
        NodePtr node = sum();
        while (const std::optional<BinaryOp> op = comparison_op(current().kind)) {
            const int position = advance().position;
            node = make_binary(*op, std::move(node), sum(), position);
        }
        return node;
    }

    NodePtr sum() {
        NodePtr node = product();
        while (at(TokenKind::Plus) || at(TokenKind::Minus)) {
            const BinaryOp op = at(TokenKind::Plus) ? BinaryOp::Add : BinaryOp::Sub;
            const int position = advance().position;
            node = make_binary(op, std::move(node), product(), position);
        }
        return node;
    }

    NodePtr product() {
        NodePtr node = power();
        while (const std::optional<BinaryOp> op = product_op(current().kind)) {
            const int position = advance().position;
            node = make_binary(*op, std::move(node), power(), position);
        }
        return node;
    }

    NodePtr power() {
        NodePtr node = signed_operand();
        while (at(TokenKind::Power)) {
            const int position = advance().position;
            node = make_binary(BinaryOp::Pow, std::move(node), signed_operand(), position);
        }
        return node;
    }

    NodePtr signed_operand() {
        if (at(TokenKind::Minus) || at(TokenKind::Plus)) {
            const Nesting nesting(*this);
            const UnaryOp op = at(TokenKind::Minus) ? UnaryOp::Minus : UnaryOp::Plus;
            const int position = advance().position;
            return make_unary(op, signed_operand(), position);
        }
        return primary();
    }

    NodePtr primary() {
        switch (current().kind) {
            case TokenKind::Literal: {
                const Token& token = advance();
                return make_literal(token.value, token.position, token.decimals);
            }
            case TokenKind::LeftParen: {
                advance();
                NodePtr node = disjunction();
                expect(TokenKind::RightParen, "\")\"");
                return node;
            }
            case TokenKind::Name:
                if (tokens_.next_is(TokenKind::LeftParen)) return call();
                return field();
            default:
                tokens_.unexpected("a value");
        }
    }

    NodePtr call() {
        const Token& name = advance();
        advance();  // (
        std::vector<NodePtr> args;
        if (!at(TokenKind::RightParen)) {
            args.push_back(disjunction());
            while (at(TokenKind::Comma)) {
                advance();
                args.push_back(disjunction());
            }
        }
        expect(TokenKind::RightParen, "\")\"");
        return make_call(name.text, std::move(args), name.position);
    }

    // NAME, FIELD->NAME or ALIAS->NAME.
    NodePtr field() {
        const Token& first = advance();
        if (!at(TokenKind::Arrow)) return bind_field(binder_, "", first.text, first.position);
        advance();
        if (!at(TokenKind::Name)) tokens_.unexpected("a field name");
        const std::string alias = first.text == "FIELD" || first.text == "_FIELD" ? "" : first.text;
        return bind_field(binder_, alias, advance().text, first.position);
    }

    TokenCursor tokens_;
    int nesting_ = 0;
    const FieldBinder& binder_;
};

}  // namespace

NodePtr parse(std::string_view text, const FieldBinder& binder) {
    try {
        return Parser(text, binder).whole();
    } catch (const CompileError& error) {
        throw ExpressionError(std::string(text), error.position, error.message);
    }
}

}  // namespace kv::xbase::expr
