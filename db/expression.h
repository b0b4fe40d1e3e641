#pragma once
// Expressions of keys, FOR conditions and view filters: compiled once from their text, evaluated
// per record.
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "db/value.h"

namespace kv::db {

// A compile-time fault (syntax error, unknown name, wrong arguments) or a run-time error that the
// error handler did not answer with a value.
class ExpressionError : public std::runtime_error {
  public:
    ExpressionError(const std::string& expression, int position, const std::string& message);
    // 1-based byte offset in the expression's text; 0 for a fault of evaluation.
    int position() const { return position_; }

  private:
    int position_;
};

// What the binder knows of a bound field: its type letter as the table declares it ('C', 'N',
// 'F', 'I', 'B', 'Y', 'D', 'L', 'M'; 'U' when unknown), its width and its decimals.
struct FieldShape {
    char type = 'U';
    int width = 0;
    int decimals = 0;
};

// Resolves the field names of an expression when it is compiled.
class FieldBinder {
  public:
    virtual ~FieldBinder() = default;
    // A slot number for the field (alias empty: the expression's own table; "FIELD" is taken as
    // empty), or nothing when there is no such field. Alias and name come in upper case. Slots of
    // other work areas' fields are the binder's to encode: the RecordView that the expression is
    // evaluated on reads them (the current record of that work area).
    virtual std::optional<int> bind(std::string_view alias, std::string_view name) const = 0;
    // The shape of a slot that bind gave. Binders that do not know it leave the types open:
    // they are then checked at run time, and result_type() may answer 'U'.
    virtual FieldShape shape(int slot) const { return {}; }
};

// What an expression reads of the record it is evaluated on.
class RecordView {
  public:
    virtual ~RecordView() = default;
    virtual Value field(int slot) const = 0;  // a slot that the binder gave
    // The same into a value that the evaluation keeps: a view may override it to decode the
    // field into out's existing storage instead of building a new string every time.
    virtual void field_into(int slot, Value& out) const { out = field(slot); }
    virtual long record_number() const = 0;
    virtual bool deleted() const = 0;
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
    const std::string& text() const;

    Expression(Expression&&) noexcept;
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
void set_exact_comparison(bool exact);

// Sets the comparison mode for the guard's lifetime and restores the previous one after (tests).
class ScopedExactComparison {
  public:
    explicit ScopedExactComparison(bool exact) : previous_(exact_comparison()) {
        set_exact_comparison(exact);
    }
    ~ScopedExactComparison() { set_exact_comparison(previous_); }
    ScopedExactComparison(const ScopedExactComparison&) = delete;
    ScopedExactComparison& operator=(const ScopedExactComparison&) = delete;

  private:
    bool previous_;
};

}  // namespace kv::db
