// Literals, fields and the operators of the language.
#include <algorithm>
#include <cmath>

#include "xbase/expr_node.h"
#include "xbase/expr_runtime.h"
#include "xbase/expression.h"

namespace kv::xbase::expr {
namespace {

// The alternatives of Value, by index.
constexpr std::size_t kNil = 0, kText = 1, kNumber = 2, kDate = 3, kLogical = 4;

struct OperatorInfo {
    const char* symbol;
    long subcode;  // of the argument error
};

OperatorInfo info(BinaryOp op) {
    switch (op) {
        case BinaryOp::Add:
            return {"+", 1081};
        case BinaryOp::Sub:
            return {"-", 1082};
        case BinaryOp::Mul:
            return {"*", 1083};
        case BinaryOp::Div:
            return {"/", 1084};
        case BinaryOp::Mod:
            return {"%", 1085};
        case BinaryOp::Pow:
            return {"**", 1088};
        case BinaryOp::ExactEq:
            return {"==", 1070};
        case BinaryOp::Eq:
            return {"=", 1071};
        case BinaryOp::Ne:
            return {"<>", 1072};
        case BinaryOp::Lt:
            return {"<", 1073};
        case BinaryOp::Le:
            return {"<=", 1074};
        case BinaryOp::Gt:
            return {">", 1075};
        case BinaryOp::Ge:
            return {">=", 1076};
        case BinaryOp::Contains:
            return {"$", 1109};
        case BinaryOp::And:
            return {".AND.", 1078};
        case BinaryOp::Or:
            return {".OR.", 1079};
    }
    return {"?", 0};
}

// A number of days to add to a date, kept within reach of every valid date.
long whole_days(double days) {
    return static_cast<long>(std::clamp(std::trunc(days), -4'000'000.0, 4'000'000.0));
}

[[noreturn]] void mismatch(BinaryOp op, int position) {
    throw CompileError{position, std::string("type mismatch for ") + info(op).symbol};
}

class Literal : public Node {
  public:
    Literal(Value value, Shape shape, int position)
        : Node(shape, position), value_(std::move(value)) {}
    void eval(const RecordView&, Value& out) const override { out = value_; }
    const Value* constant() const override { return &value_; }

  private:
    Value value_;
};

class Field : public Node {
  public:
    Field(int slot, Shape shape, int position) : Node(shape, position), slot_(slot) {}
    void eval(const RecordView& record, Value& out) const override {
        record.field_into(slot_, out);
    }

  private:
    int slot_;
};

class Arithmetic : public Node {
  public:
    Arithmetic(BinaryOp op, NodePtr left, NodePtr right, Shape shape, int position)
        : Node(shape, position), op_(op), left_(std::move(left)), right_(std::move(right)) {}

    void eval(const RecordView& record, Value& out) const override {
        left_->eval(record, out);
        Value right;
        right_->eval(record, right);
        if (apply(out, right)) return;
        const OperatorInfo operator_info = info(op_);
        raise_argument_error(operator_info.symbol, operator_info.subcode, out);
    }

  private:
    // The result into left; false for operand types the operator does not take.
    bool apply(Value& left, const Value& right) const {
        const std::size_t l = left.index(), r = right.index();
        if (l == kNumber && r == kNumber)
            return numeric(std::get<double>(left), std::get<double>(right), left);
        if (op_ == BinaryOp::Add) {
            if (l == kText && r == kText) {
                std::get<std::string>(left).append(std::get<std::string>(right));
            } else if (l == kDate && r == kNumber) {
                left = std::get<util::Date>(left).plus_days(whole_days(std::get<double>(right)));
            } else if (l == kNumber && r == kDate) {
                left = std::get<util::Date>(right).plus_days(whole_days(std::get<double>(left)));
            } else {
                return false;
            }
            return true;
        }
        if (op_ == BinaryOp::Sub) {
            if (l == kText && r == kText) {
                // The left string's trailing blanks move to the end of the result.
                std::string& text = std::get<std::string>(left);
                const std::size_t kept = text.find_last_not_of(' ') + 1;
                const std::size_t blanks = text.size() - kept;
                text.resize(kept);
                text.append(std::get<std::string>(right));
                text.append(blanks, ' ');
            } else if (l == kDate && r == kNumber) {
                left = std::get<util::Date>(left).plus_days(-whole_days(std::get<double>(right)));
            } else if (l == kDate && r == kDate) {
                left = static_cast<double>(
                    std::get<util::Date>(left).days_since(std::get<util::Date>(right)));
            } else {
                return false;
            }
            return true;
        }
        return false;
    }

    bool numeric(double a, double b, Value& out) const {
        switch (op_) {
            case BinaryOp::Add:
                out = a + b;
                break;
            case BinaryOp::Sub:
                out = a - b;
                break;
            case BinaryOp::Mul:
                out = a * b;
                break;
            case BinaryOp::Div:
                if (b == 0)
                    raise_zero_divide("/", 1340, out);
                else
                    out = a / b;
                break;
            case BinaryOp::Mod:
                if (b == 0)
                    raise_zero_divide("%", 1341, out);
                else
                    out = std::fmod(a, b);
                break;
            case BinaryOp::Pow:
                out = std::pow(a, b);
                break;
            default:
                return false;
        }
        return true;
    }

    BinaryOp op_;
    NodePtr left_, right_;
};

// The result of an ordering test from a comparison's sign.
bool holds(BinaryOp op, int sign) {
    switch (op) {
        case BinaryOp::Eq:
        case BinaryOp::ExactEq:
            return sign == 0;
        case BinaryOp::Ne:
            return sign != 0;
        case BinaryOp::Lt:
            return sign < 0;
        case BinaryOp::Le:
            return sign <= 0;
        case BinaryOp::Gt:
            return sign > 0;
        case BinaryOp::Ge:
            return sign >= 0;
        default:
            return false;
    }
}

bool is_equality(BinaryOp op) {
    return op == BinaryOp::Eq || op == BinaryOp::ExactEq || op == BinaryOp::Ne;
}

template <typename T>
int sign_of(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

class Comparison : public Node {
  public:
    Comparison(BinaryOp op, NodePtr left, NodePtr right, int position)
        : Node(Shape{'L'}, position), op_(op), left_(std::move(left)), right_(std::move(right)) {}

    void eval(const RecordView& record, Value& out) const override {
        Value left, right;
        left_->eval(record, left);
        right_->eval(record, right);
        int sign = 0;
        if (!compare(left, right, sign)) {
            const OperatorInfo operator_info = info(op_);
            raise_argument_error(operator_info.symbol, operator_info.subcode, out);
            return;
        }
        out = op_ == BinaryOp::Contains ? sign != 0 : holds(op_, sign);
    }

  private:
    // The sign of left against right (for "$", non-zero when left is in right); false for
    // operands that the operator cannot compare.
    bool compare(const Value& left, const Value& right, int& sign) const {
        if (left.index() != right.index()) {
            if (!is_equality(op_) || (left.index() != kNil && right.index() != kNil)) return false;
            sign = 1;  // NIL equals nothing but NIL
            return true;
        }
        switch (left.index()) {
            case kNil:
                sign = 0;
                return is_equality(op_);
            case kText: {
                const std::string& a = std::get<std::string>(left);
                const std::string& b = std::get<std::string>(right);
                if (op_ == BinaryOp::Contains)
                    sign = !a.empty() && b.find(a) != std::string::npos;
                else if (op_ == BinaryOp::ExactEq)
                    sign = a == b ? 0 : 1;
                else
                    sign = compare_text(a, b, exact_comparison());
                return true;
            }
            case kNumber:
                sign = sign_of(std::get<double>(left), std::get<double>(right));
                break;
            case kDate:
                sign = sign_of(std::get<util::Date>(left), std::get<util::Date>(right));
                break;
            case kLogical:
                sign = sign_of(std::get<bool>(left), std::get<bool>(right));
                break;
        }
        return op_ != BinaryOp::Contains;
    }

    BinaryOp op_;
    NodePtr left_, right_;
};

class Logical : public Node {
  public:
    Logical(BinaryOp op, NodePtr left, NodePtr right, int position)
        : Node(Shape{'L'}, position), op_(op), left_(std::move(left)), right_(std::move(right)) {}

    void eval(const RecordView& record, Value& out) const override {
        left_->eval(record, out);
        if (out.index() == kLogical) {
            // .AND. stops at a false left side, .OR. at a true one.
            if (std::get<bool>(out) == (op_ == BinaryOp::Or)) return;
            right_->eval(record, out);
            if (out.index() == kLogical) return;
        }
        const OperatorInfo operator_info = info(op_);
        raise_argument_error(operator_info.symbol, operator_info.subcode, out);
    }

  private:
    BinaryOp op_;
    NodePtr left_, right_;
};

class Unary : public Node {
  public:
    Unary(UnaryOp op, NodePtr operand, Shape shape, int position)
        : Node(shape, position), op_(op), operand_(std::move(operand)) {}

    void eval(const RecordView& record, Value& out) const override {
        operand_->eval(record, out);
        if (op_ == UnaryOp::Not) {
            if (out.index() == kLogical) {
                out = !std::get<bool>(out);
                return;
            }
            raise_argument_error(".NOT.", 1077, out);
            return;
        }
        if (out.index() == kNumber) {
            if (op_ == UnaryOp::Minus) out = -std::get<double>(out);
            return;
        }
        raise_argument_error(op_ == UnaryOp::Minus ? "-" : "+", 1080, out);
    }

  private:
    UnaryOp op_;
    NodePtr operand_;
};

// The result of an arithmetic operator for operand types known when compiling.
Shape arithmetic_shape(BinaryOp op, const Shape& a, const Shape& b, int position) {
    const bool numeric_only = op != BinaryOp::Add && op != BinaryOp::Sub;
    if (a.type == 'U' || b.type == 'U') {
        if (numeric_only) {
            if ((a.type != 'U' && a.type != 'N') || (b.type != 'U' && b.type != 'N')) {
                mismatch(op, position);
            }
            return Shape{'N', -1, std::max({a.decimals, b.decimals, 2})};
        }
        return Shape{};
    }
    if (a.type == 'N' && b.type == 'N') {
        switch (op) {
            case BinaryOp::Add:
            case BinaryOp::Sub:
            case BinaryOp::Mod:
                return Shape{'N', -1, std::max(a.decimals, b.decimals)};
            case BinaryOp::Mul:
                return Shape{'N', -1, std::min(a.decimals + b.decimals, 15)};
            default:
                return Shape{'N', -1, std::max({a.decimals, b.decimals, 2})};
        }
    }
    if (!numeric_only) {
        if (a.type == 'C' && b.type == 'C') {
            const bool fixed = a.width >= 0 && b.width >= 0;
            return Shape{'C', fixed ? a.width + b.width : -1, 0};
        }
        if (a.type == 'D' && b.type == 'N') return Shape{'D'};
        if (op == BinaryOp::Add && a.type == 'N' && b.type == 'D') return Shape{'D'};
        if (op == BinaryOp::Sub && a.type == 'D' && b.type == 'D') return Shape{'N'};
    }
    mismatch(op, position);
}

void check_comparison(BinaryOp op, const Shape& a, const Shape& b, int position) {
    if (op == BinaryOp::Contains) {
        if ((a.type != 'U' && a.type != 'C') || (b.type != 'U' && b.type != 'C')) {
            mismatch(op, position);
        }
    } else if (a.type != 'U' && b.type != 'U' && a.type != b.type) {
        mismatch(op, position);
    }
}

// The language's shape of a field of a table.
Shape field_shape(const FieldShape& field) {
    switch (field.type) {
        case 'C':
            return Shape{'C', field.width, 0};
        case 'M':
            return Shape{'C', -1, 0};
        case 'N':
        case 'F':
            return Shape{'N', field.width, field.decimals};
        case 'I':
        case 'B':
        case 'Y':
            return Shape{'N', -1, field.type == 'Y' ? 4 : field.decimals};
        case 'D':
            return Shape{'D'};
        case 'L':
            return Shape{'L'};
        default:
            return Shape{};
    }
}

NodePtr binary_node(BinaryOp op, NodePtr left, NodePtr right, int position) {
    const Shape& a = left->shape();
    const Shape& b = right->shape();
    switch (op) {
        case BinaryOp::And:
        case BinaryOp::Or:
            if ((a.type != 'U' && a.type != 'L') || (b.type != 'U' && b.type != 'L')) {
                mismatch(op, position);
            }
            return std::make_unique<Logical>(op, std::move(left), std::move(right), position);
        case BinaryOp::Eq:
        case BinaryOp::ExactEq:
        case BinaryOp::Ne:
        case BinaryOp::Lt:
        case BinaryOp::Le:
        case BinaryOp::Gt:
        case BinaryOp::Ge:
        case BinaryOp::Contains:
            check_comparison(op, a, b, position);
            return std::make_unique<Comparison>(op, std::move(left), std::move(right), position);
        default: {
            const Shape shape = arithmetic_shape(op, a, b, position);
            return std::make_unique<Arithmetic>(op, std::move(left), std::move(right), shape,
                                                position);
        }
    }
}

NodePtr unary_node(UnaryOp op, NodePtr operand, int position) {
    const char type = operand->type();
    const int decimals = operand->shape().decimals;
    const char wanted = op == UnaryOp::Not ? 'L' : 'N';
    if (type != 'U' && type != wanted) {
        throw CompileError{position, op == UnaryOp::Not ? "type mismatch for .NOT."
                                                        : "type mismatch for unary sign"};
    }
    // A signed number written in the text is a literal itself.
    if (const Value* value = operand->constant(); value && op != UnaryOp::Not) {
        const double number = std::get<double>(*value);
        return make_literal(op == UnaryOp::Minus ? -number : number, position, decimals);
    }
    return std::make_unique<Unary>(op, std::move(operand), Shape{wanted, -1, decimals}, position);
}

}  // namespace

int depth_over(int deepest_child, int position) {
    if (deepest_child >= kMaxDepth) throw CompileError{position, "expression nested too deeply"};
    return deepest_child + 1;
}

NodePtr make_literal(Value value, int position, int decimals) {
    Shape shape{value_type(value), -1, decimals};
    if (const auto* text = std::get_if<std::string>(&value)) {
        shape.width = static_cast<int>(text->size());
    }
    return std::make_unique<Literal>(std::move(value), shape, position);
}

NodePtr make_field(int slot, const FieldShape& field, int position) {
    return std::make_unique<Field>(slot, field_shape(field), position);
}

NodePtr make_binary(BinaryOp op, NodePtr left, NodePtr right, int position) {
    const int depth = depth_over(std::max(left->depth(), right->depth()), position);
    NodePtr node = binary_node(op, std::move(left), std::move(right), position);
    node->set_depth(depth);
    return node;
}

NodePtr make_unary(UnaryOp op, NodePtr operand, int position) {
    const int depth = depth_over(operand->depth(), position);
    NodePtr node = unary_node(op, std::move(operand), position);
    node->set_depth(node->constant() ? 1 : depth);
    return node;
}

}  // namespace kv::xbase::expr
