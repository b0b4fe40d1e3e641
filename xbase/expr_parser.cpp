// From tokens to the tree, by recursive descent. From the loosest binding to the tightest:
// .OR., .AND., .NOT. (and !), the comparisons, + and -, * / and %, ** and ^, the signs.
#include "xbase/expr_lexer.h"
#include "xbase/expr_node.h"
#include "xbase/expression.h"

namespace kv::xbase::expr {
namespace {

constexpr std::size_t kFieldNameLength = 10;

class Parser {
  public:
    Parser(std::string_view text, const FieldBinder& binder)
        : tokens_(tokenize(text)), binder_(binder) {}

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
        for (;;) {
            BinaryOp op;
            switch (current().kind) {
                case TokenKind::Eq:
                    op = BinaryOp::Eq;
                    break;
                case TokenKind::ExactEq:
                    op = BinaryOp::ExactEq;
                    break;
                case TokenKind::Ne:
                    op = BinaryOp::Ne;
                    break;
                case TokenKind::Lt:
                    op = BinaryOp::Lt;
                    break;
                case TokenKind::Le:
                    op = BinaryOp::Le;
                    break;
                case TokenKind::Gt:
                    op = BinaryOp::Gt;
                    break;
                case TokenKind::Ge:
                    op = BinaryOp::Ge;
                    break;
                case TokenKind::Dollar:
                    op = BinaryOp::Contains;
                    break;
                default:
                    return node;
            }
            const int position = advance().position;
            node = make_binary(op, std::move(node), sum(), position);
        }
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
        for (;;) {
            BinaryOp op;
            switch (current().kind) {
                case TokenKind::Star:
                    op = BinaryOp::Mul;
                    break;
                case TokenKind::Slash:
                    op = BinaryOp::Div;
                    break;
                case TokenKind::Percent:
                    op = BinaryOp::Mod;
                    break;
                default:
                    return node;
            }
            const int position = advance().position;
            node = make_binary(op, std::move(node), power(), position);
        }
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
                if (next_is(TokenKind::LeftParen)) return call();
                return field();
            default:
                unexpected("a value");
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
        std::string alias;
        const Token* name = &first;
        if (at(TokenKind::Arrow)) {
            advance();
            if (!at(TokenKind::Name)) unexpected("a field name");
            alias = first.text == "FIELD" || first.text == "_FIELD" ? "" : first.text;
            name = &advance();
        }
        std::optional<int> slot = binder_.bind(alias, name->text);
        // Field names have at most ten characters; a longer name stands for its first ten.
        if (!slot && name->text.size() > kFieldNameLength) {
            slot = binder_.bind(alias, std::string_view(name->text).substr(0, kFieldNameLength));
        }
        if (!slot) {
            const std::string full = alias.empty() ? name->text : alias + "->" + name->text;
            throw CompileError{first.position, "unknown field " + full};
        }
        return make_field(*slot, binder_.shape(*slot), first.position);
    }

    std::vector<Token> tokens_;
    std::size_t at_ = 0;
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
