#include "xbase/value.h"

namespace kv::xbase {

char value_type(const Value& value) {
    static constexpr char kLetters[] = {'U', 'C', 'N', 'D', 'L'};
    return kLetters[value.index()];
}

}  // namespace kv::xbase
