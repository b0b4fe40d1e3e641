#pragma once
// Expressions of keys, FOR conditions and view filters: compiled once from their text, evaluated
// per record.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "db/value.h"

namespace kv::db {

// Resolves the field names of an expression when it is compiled.
class FieldBinder {
  public:
    virtual ~FieldBinder() = default;
    // A slot number for the field (alias empty: the expression's own table; "FIELD" is taken as
    // empty), or nothing when there is no such field.
    virtual std::optional<int> bind(std::string_view alias, std::string_view name) const = 0;
};

// What an expression reads of the record it is evaluated on.
class RecordView {
  public:
    virtual ~RecordView() = default;
    virtual Value field(int slot) const = 0;  // a slot that the binder gave
    virtual long record_number() const = 0;
    virtual bool deleted() const = 0;
};

class Expression {
  public:
    // Compiles the text; throws ExpressionError naming the expression and the position of a
    // syntax error or an unknown name.
    static Expression compile(std::string_view text, const FieldBinder& binder);

    // The value for one record. Errors at run time (division by zero, wrong argument types)
    // go to the run-time error handler as error records; see expression_errors.
    Value evaluate(const RecordView& record) const;
    // The type letter of the result ('C', 'N', 'D', 'L'), known after compiling.
    char result_type() const;
    // For character results: the width of the result, known after compiling where it is fixed.
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

}  // namespace kv::db
