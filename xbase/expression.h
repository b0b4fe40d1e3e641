#pragma once
// Expressions of keys, FOR conditions and view filters: compiled once from their text, evaluated
// per record.
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "xbase/record.h"
#include "xbase/value.h"

namespace kv::xbase {

// A compile-time fault (syntax error, unknown name, wrong arguments) or a run-time error that the
// error handler did not answer with a value.
class ExpressionError : public std::runtime_error {
  public:
    // A fault in an expression, at a position of its text (0: while evaluating).
    ExpressionError(const std::string& expression, int position, const std::string& message);
    // 1-based byte offset in the expression's text; 0 for a fault of evaluation.
    int position() const { return position_; }

  private:
    int position_;
};

// A compiled expression does not change when it is evaluated: several threads may evaluate it
// at once, each on its own record view (the error handler and the comparison setting are the
// process's).
class Expression {
  public:
    // Compiles the text; throws ExpressionError naming the expression and the position of a
    // syntax error or an unknown name.
    static Expression compile(std::string_view text, const FieldBinder& binder);

    // The value for one record. Errors at run time (division by zero: generic code 5; wrong
    // argument types: generic code 1) go to the run-time error handler as error records of the
    // subsystem "BASE"; the number it answers stands for the failed operation's result.
    Value evaluate(const RecordView& record) const;
    // The same, into a value that the caller keeps from record to record, so that a character
    // result reuses its storage (building an index, testing a filter over a whole table).
    void evaluate_into(const RecordView& record, Value& result) const;
    // The type letter of the result ('C', 'N', 'D', 'L'), known after compiling; 'U' when it
    // depends on fields whose types the binder did not give.
    char result_type() const;
    // For character results: the width of the result, known after compiling where it is fixed;
    // -1 where it is not (TRIM of a field, a memo).
    int result_width() const;
    // The expression's text as compiled.
    const std::string& text() const;

    // Takes over a compiled expression.
    Expression(Expression&&) noexcept;
    // Takes over a compiled expression.
    Expression& operator=(Expression&&) noexcept;
    ~Expression();

  private:
    struct Compiled;
    explicit Expression(std::unique_ptr<Compiled> compiled);
    std::unique_ptr<Compiled> compiled_;
};

// Whether "=" and the orderings compare strings exactly (trailing blanks aside) or, as by
// default, only as far as the right-hand string goes ("ABC" = "AB" is true).
bool exact_comparison();
// Sets the comparison mode for the process.
void set_exact_comparison(bool exact);

// Sets the comparison mode for the guard's lifetime and restores the previous one after (tests).
class ScopedExactComparison {
  public:
    // Sets the comparison mode until the guard ends.
    explicit ScopedExactComparison(bool exact) : previous_(exact_comparison()) {
        set_exact_comparison(exact);
    }
    ~ScopedExactComparison() { set_exact_comparison(previous_); }
    ScopedExactComparison(const ScopedExactComparison&) = delete;
    ScopedExactComparison& operator=(const ScopedExactComparison&) = delete;

  private:
    bool previous_;
};

}  // namespace kv::xbase
