#pragma once
// Calls of built-in functions: the node, the way a function reads its arguments, and the table
// entry that describes a function.
#include <optional>
#include <string>
#include <vector>

#include "xbase/expr_node.h"

namespace kv::xbase::expr {

class Call;

struct FunctionSpec {
    const char* name;
    int min_args, max_args;
    const char* arg_types;  // a letter per argument: 'C', 'N', 'D', 'L', or '*' for any type
    char result;            // the result's type letter; 'U' when the arguments decide (IIF)
    void (*impl)(const Call& call, const RecordView& record, Value& out);
    // The width of a character result when it is fixed, else -1; nullptr: never fixed.
    int (*width)(const Call& call) = nullptr;
    // The decimals of a numeric result; -1: those of the first argument; -2: the second
    // argument when it is written as a number.
    int decimals = 0;
};

// The table of built-in functions.
const std::vector<FunctionSpec>& functions();

class Call : public Node {
  public:
    Call(const FunctionSpec& spec, std::vector<NodePtr> args, Shape shape, int position)
        : Node(shape, position), spec_(spec), args_(std::move(args)) {}

    void eval(const RecordView& record, Value& out) const override;

    int count() const { return static_cast<int>(args_.size()); }
    const Node& arg(int i) const { return *args_[i]; }
    // The argument's value when it is a number written in the text.
    std::optional<double> constant_number(int i) const;

    // Argument values, checked for their type; a wrong type raises an argument error whose
    // substitute becomes the call's result.
    std::string& text_into(int i, const RecordView& record, Value& out) const;
    double number(int i, const RecordView& record) const;
    // A number as a count or position, kept within a range that no string reaches.
    long whole(int i, const RecordView& record) const;
    util::Date date(int i, const RecordView& record) const;
    bool logical(int i, const RecordView& record) const;
    void any(int i, const RecordView& record, Value& out) const { args_[i]->eval(record, out); }
    // Raises the argument error of this call and ends it with the handler's substitute.
    [[noreturn]] void wrong_argument() const;
    // The width of the result, once the arguments are known.
    void fix_width(int width) { set_width(width); }

  private:
    const FunctionSpec& spec_;
    std::vector<NodePtr> args_;
};

// The string alternative of a value, made empty when the value held something else.
std::string& string_slot(Value& out);

// The part of a string of length size that SUBSTR(text, start[, count]) takes: its offset and
// length.
struct Range {
    long offset, length;
};
Range substring_range(long size, long start, std::optional<long> count);

}  // namespace kv::xbase::expr
