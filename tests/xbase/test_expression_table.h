#pragma once
// A small table for expression tests: fields bound by name, one record, and a printable form of
// values for readable failures.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "xbase/expression.h"

namespace kv::test {

struct ExpressionField {
    std::string alias, name;
    xbase::FieldShape shape;
    xbase::Value value;
};

// NAME C10, QTY N8.2, BORN D, OK L, NOTES M, CODE N6, OTHER->CITY C10 and CLIENTCODE N6;
// record 7, not deleted.
inline std::vector<ExpressionField> expression_fields() {
    return {
        {"", "NAME", {'C', 10, 0}, std::string("Rossi     ")},
        {"", "QTY", {'N', 8, 2}, 12.5},
        {"", "BORN", {'D', 8, 0}, util::Date::of(2024, 3, 1)},
        {"", "OK", {'L', 1, 0}, true},
        {"", "NOTES", {'M', 10, 0}, std::string("long text")},
        {"", "CODE", {'N', 6, 0}, 42.0},
        {"OTHER", "CITY", {'C', 10, 0}, std::string("Roma      ")},
        {"", "CLIENTCODE", {'N', 6, 0}, 7.0},
    };
}

class ExpressionTable : public xbase::FieldBinder, public xbase::RecordView {
  public:
    explicit ExpressionTable(std::vector<ExpressionField> fields = expression_fields(),
                             bool typed = true)
        : fields_(std::move(fields)), typed_(typed) {}

    std::optional<int> bind(std::string_view alias, std::string_view name) const override {
        for (std::size_t i = 0; i < fields_.size(); ++i) {
            if (fields_[i].alias == alias && fields_[i].name == name) return static_cast<int>(i);
        }
        return std::nullopt;
    }
    xbase::FieldShape shape(int slot) const override {
        return typed_ ? fields_[slot].shape : xbase::FieldShape{};
    }
    xbase::Value field(int slot) const override { return fields_[slot].value; }
    long record_number() const override { return record_number_; }
    bool deleted() const override { return deleted_; }

    xbase::Value eval(const std::string& text) const {
        return xbase::Expression::compile(text, *this).evaluate(*this);
    }

    std::vector<ExpressionField> fields_;
    bool typed_;
    long record_number_ = 7;
    bool deleted_ = false;
};

// "C:text", "N:12.5", "D:20240301" ("D:" for the empty date), "L:T", "U".
inline std::string show(const xbase::Value& value) {
    struct Shower {
        std::string operator()(const xbase::Nil&) const { return "U"; }
        std::string operator()(const std::string& text) const { return "C:" + text; }
        std::string operator()(double number) const {
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "N:%.15g", number);
            return buffer;
        }
        std::string operator()(const util::Date& date) const {
            if (date.empty()) return "D:";
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "D:%04d%02d%02d", date.year(), date.month(),
                          date.day());
            return buffer;
        }
        std::string operator()(bool logical) const { return logical ? "L:T" : "L:F"; }
    };
    return std::visit(Shower{}, value);
}

}  // namespace kv::test
