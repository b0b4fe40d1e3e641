#include "xbase/expression.h"

#include "xbase/expr_node.h"
#include "xbase/expr_runtime.h"

namespace kv::xbase {
namespace {

std::string error_text(const std::string& expression, int position, const std::string& message) {
    std::string text = "expression \"" + expression + "\"";
    if (position > 0) text += ", position " + std::to_string(position);
    return text + ": " + message;
}

}  // namespace

ExpressionError::ExpressionError(const std::string& expression, int position,
                                 const std::string& message)
    : std::runtime_error(error_text(expression, position, message)), position_(position) {}

struct Expression::Compiled {
    std::string text;
    expr::NodePtr root;
};

Expression::Expression(std::unique_ptr<Compiled> compiled) : compiled_(std::move(compiled)) {}
Expression::Expression(Expression&&) noexcept = default;
Expression& Expression::operator=(Expression&&) noexcept = default;
Expression::~Expression() = default;

Expression Expression::compile(std::string_view text, const FieldBinder& binder) {
    auto compiled = std::make_unique<Compiled>();
    compiled->text = std::string(text);
    compiled->root = expr::parse(text, binder);
    return Expression(std::move(compiled));
}

void Expression::evaluate_into(const RecordView& record, Value& result) const {
    try {
        compiled_->root->eval(record, result);
    } catch (const expr::EvalFailure& failure) {
        throw ExpressionError(compiled_->text, 0, failure.message);
    }
}

Value Expression::evaluate(const RecordView& record) const {
    Value result;
    evaluate_into(record, result);
    return result;
}

char Expression::result_type() const {
    return compiled_->root->type();
}

int Expression::result_width() const {
    return compiled_->root->type() == 'C' ? compiled_->root->shape().width : -1;
}

const std::string& Expression::text() const {
    return compiled_->text;
}

}  // namespace kv::xbase
