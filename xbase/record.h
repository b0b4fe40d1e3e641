#pragma once
// How an expression reaches the fields of a record without knowing where records live: the table
// engine implements both sides, the binder when an expression is compiled and the record view
// when it is evaluated.
#include <optional>
#include <string_view>

#include "xbase/value.h"

namespace kv::xbase {

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
    // The record's number.
    virtual long record_number() const = 0;
    // True when the record is marked deleted.
    virtual bool deleted() const = 0;
};

}  // namespace kv::xbase
