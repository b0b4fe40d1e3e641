#pragma once
// The compiled form of an expression: a tree of nodes, each of which writes its value into a
// value that the caller provides, so that evaluating a key reuses the caller's storage.
#include <memory>
#include <string>
#include <vector>

#include "xbase/record.h"
#include "xbase/value.h"

namespace kv::xbase::expr {

// What is known of a node's value before it is evaluated: its type letter ('C', 'N', 'D', 'L', or
// 'U' when only the record will tell), the width of a character value (-1 when not fixed) and
// the decimals that STR shows for a number when it is given no width.
struct Shape {
    char type = 'U';
    int width = -1;
    int decimals = 0;
};

class Node {
  public:
    Node(Shape shape, int position) : shape_(shape), position_(position) {}
    virtual ~Node() = default;
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    virtual void eval(const RecordView& record, Value& out) const = 0;
    // The value of a literal; nullptr for every other node.
    virtual const Value* constant() const { return nullptr; }

    const Shape& shape() const { return shape_; }
    char type() const { return shape_.type; }
    int position() const { return position_; }  // 1-based offset of the node's text
    // Levels of nodes from this one down to its deepest leaf; evaluation recurses as deep.
    int depth() const { return depth_; }
    void set_depth(int depth) { depth_ = depth; }

  protected:
    void set_width(int width) { shape_.width = width; }

  private:
    Shape shape_;
    int position_;
    int depth_ = 1;
};

using NodePtr = std::unique_ptr<Node>;

// A fault found while compiling: where and what. The parser turns it into an ExpressionError
// that names the expression.
struct CompileError {
    int position;
    std::string message;
};

// The deepest tree, and the deepest nesting of the text, that compile: evaluating and parsing
// recurse once per level, and the text may come from a damaged file.
constexpr int kMaxDepth = 200;
// The depth of a node over its children's; throws CompileError past kMaxDepth.
int depth_over(int deepest_child, int position);

// The operators, as the parser recognises them.
enum class BinaryOp {
    Add,
    Sub,
    Mul,
    Div,
    Mod,
    Pow,
    Eq,
    ExactEq,
    Ne,
    Lt,
    Le,
    Gt,
    Ge,
    Contains,
    And,
    Or
};
enum class UnaryOp { Minus, Plus, Not };

// Node makers. Each checks the operand types that are known when compiling and throws
// CompileError for a mismatch.
NodePtr make_literal(Value value, int position, int decimals = 0);
NodePtr make_field(int slot, const FieldShape& field, int position);
NodePtr make_binary(BinaryOp op, NodePtr left, NodePtr right, int position);
NodePtr make_unary(UnaryOp op, NodePtr operand, int position);
// A call of a built-in function by its name (upper case, or an unambiguous abbreviation of at
// least four letters); throws CompileError for an unknown name or wrong arguments.
NodePtr make_call(const std::string& name, std::vector<NodePtr> args, int position);
// True when the name (upper case) is a built-in function or an abbreviation of one.
bool is_function(const std::string& name);

// The whole tree of a text; throws ExpressionError.
NodePtr parse(std::string_view text, const FieldBinder& binder);

}  // namespace kv::xbase::expr
