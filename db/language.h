#pragma once
// The engine stores the expression language's values in its fields and keys and compiles the
// language's expressions for keys, FOR conditions and filters: those names are the engine's own
// vocabulary too. The engine implements the language's record interface (xbase/record.h).
#include "xbase/expression.h"
#include "xbase/record.h"
#include "xbase/value.h"

namespace kv::db {

using xbase::exact_comparison;
using xbase::Expression;
using xbase::ExpressionError;
using xbase::FieldBinder;
using xbase::FieldShape;
using xbase::Nil;
using xbase::RecordView;
using xbase::ScopedExactComparison;
using xbase::set_exact_comparison;
using xbase::Value;
using xbase::value_type;

}  // namespace kv::db
