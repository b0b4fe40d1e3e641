#include "xbase/expr_call.h"

#include <algorithm>
#include <cmath>

#include "xbase/expr_runtime.h"

namespace kv::xbase::expr {
namespace {

// Ends a call whose argument had the wrong type: carries the handler's substitute to the call.
struct Substitute {
    Value value;
};

const char* type_name(char letter) {
    switch (letter) {
        case 'C':
            return "character";
        case 'N':
            return "numeric";
        case 'D':
            return "date";
        default:
            return "logical";
    }
}

const FunctionSpec* find_spec(const std::string& name) {
    const FunctionSpec* found = nullptr;
    for (const FunctionSpec& spec : functions()) {
        if (name == spec.name) return &spec;
        if (name.size() >= 4 && std::string_view(spec.name).starts_with(name)) {
            if (found) return nullptr;  // ambiguous
            found = &spec;
        }
    }
    return found;
}

}  // namespace

void Call::eval(const RecordView& record, Value& out) const {
    try {
        spec_.impl(*this, record, out);
    } catch (Substitute& substitute) {
        out = std::move(substitute.value);
    }
}

std::optional<double> Call::constant_number(int i) const {
    if (i >= count()) return std::nullopt;
    const Value* value = args_[i]->constant();
    if (!value || !std::holds_alternative<double>(*value)) return std::nullopt;
    return std::get<double>(*value);
}

void Call::wrong_argument() const {
    Value substitute;
    raise_argument_error(spec_.name, 0, substitute);
    throw Substitute{std::move(substitute)};
}

std::string& Call::text_into(int i, const RecordView& record, Value& out) const {
    args_[i]->eval(record, out);
    if (auto* text = std::get_if<std::string>(&out)) return *text;
    wrong_argument();
}

double Call::number(int i, const RecordView& record) const {
    Value value;
    args_[i]->eval(record, value);
    if (const auto* number = std::get_if<double>(&value)) return *number;
    wrong_argument();
}

long Call::whole(int i, const RecordView& record) const {
    const double value = number(i, record);
    if (std::isnan(value)) return 0;
    return static_cast<long>(std::clamp(std::trunc(value), -1e9, 1e9));
}

util::Date Call::date(int i, const RecordView& record) const {
    Value value;
    args_[i]->eval(record, value);
    if (const auto* date = std::get_if<util::Date>(&value)) return *date;
    wrong_argument();
}

bool Call::logical(int i, const RecordView& record) const {
    Value value;
    args_[i]->eval(record, value);
    if (const auto* logical = std::get_if<bool>(&value)) return *logical;
    wrong_argument();
}

std::string& string_slot(Value& out) {
    if (auto* text = std::get_if<std::string>(&out)) {
        text->clear();
        return *text;
    }
    return out.emplace<std::string>();
}

Range substring_range(long size, long start, std::optional<long> count) {
    long offset = 0;
    if (start > 0)
        offset = std::min(start - 1, size);
    else if (start < 0)
        offset = std::max(size + start, 0L);
    const long available = size - offset;
    const long length = count ? std::clamp(*count, 0L, available) : available;
    return {offset, length};
}

bool is_function(const std::string& name) {
    return find_spec(name) != nullptr;
}

NodePtr make_call(const std::string& name, std::vector<NodePtr> args, int position) {
    const FunctionSpec* spec = find_spec(name);
    if (!spec) throw CompileError{position, "unknown function " + name};
    const int count = static_cast<int>(args.size());
    int deepest = 0;
    for (const NodePtr& arg : args) deepest = std::max(deepest, arg->depth());
    const int depth = depth_over(deepest, position);
    if (count < spec->min_args || count > spec->max_args) {
        throw CompileError{position, std::string("wrong number of arguments for ") + spec->name};
    }
    for (int i = 0; i < count; ++i) {
        const char wanted = spec->arg_types[i];
        const char type = args[i]->type();
        if (wanted != '*' && type != 'U' && type != wanted) {
            throw CompileError{args[i]->position(), "argument " + std::to_string(i + 1) + " of " +
                                                        spec->name + " must be " +
                                                        type_name(wanted)};
        }
    }
    Shape shape{spec->result, -1, spec->decimals};
    if (spec->decimals == -1) shape.decimals = args[0]->shape().decimals;
    if (spec->decimals == -2) {
        const Value* given = count > 1 ? args[1]->constant() : nullptr;
        shape.decimals = given && std::holds_alternative<double>(*given)
                             ? static_cast<int>(std::clamp(std::get<double>(*given), 0.0, 15.0))
                             : args[0]->shape().decimals;
    }
    if (spec->result == 'U') {  // IIF: the type of its branches, when they agree
        const Shape& a = args[1]->shape();
        const Shape& b = args[2]->shape();
        if (a.type == b.type) {
            shape =
                Shape{a.type, a.width == b.width ? a.width : -1, std::max(a.decimals, b.decimals)};
        }
    }
    auto call = std::make_unique<Call>(*spec, std::move(args), shape, position);
    if (spec->width && shape.type == 'C') {
        call->fix_width(spec->width(*call));
    }
    call->set_depth(depth);
    return call;
}

}  // namespace kv::xbase::expr
