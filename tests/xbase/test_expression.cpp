#include "xbase/expression.h"

#include <gtest/gtest.h>

#include "tests/util/date_settings.h"
#include "tests/xbase/test_expression_table.h"
#include "util/error_record.h"
#include "util/wall_clock.h"

namespace kv::xbase {
namespace {

using test::ExpressionTable;
using test::show;
using util::Date;

struct Case {
    const char* text;
    Value expected;
};

void expect_values(const ExpressionTable& table, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(show(table.eval(c.text)), show(c.expected));
    }
}

Value text(const char* value) {
    return std::string(value);
}

TEST(Expression, FieldsLiteralsAndOperators) {
    test::ScopedDateSettings dates;
    const ExpressionTable table;
    expect_values(table, {
                             {"NAME", text("Rossi     ")},
                             {"CLIENTCODES + 1", 8.0},
                             {"field->name", text("Rossi     ")},
                             {"FIELD -> NAME", text("Rossi     ")},
                             {"OTHER->CITY", text("Roma      ")},
                             {"\"a\" + 'b' + [c]", text("abc")},
                             {"NAME - 'x'", text("Rossix     ")},
                             {"TRIM(NAME) + '!'", text("Rossi!")},
                             {"1 + 2 * 3", 7.0},
                             {"(1 + 2) * 3", 9.0},
                             {"2 ** 3 ^ 2", 64.0},
                             {"7 % 3", 1.0},
                             {"-7 % 3", -1.0},
                             {"10 / 4", 2.5},
                             {"-QTY + .5", -12.0},
                             {"BORN + 30", Date::of(2024, 3, 31)},
                             {"30 + BORN", Date::of(2024, 3, 31)},
                             {"BORN - 1", Date::of(2024, 2, 29)},
                             {"BORN - {^2024-01-01}", 60.0},
                             {"{^2024/03/01} = BORN", true},
                             {"{} < BORN", true},
                             {".t. .AND. .y.", true},
                             {".F. .or. .N.", false},
                             {"!OK", false},
                             {".NOT. .F.", true},
                             {"QTY >= 12.5 .AND. OK", true},
                             {"1 > 2 .OR. 2 > 1", true},
                             {".T. > .F.", true},
                             {"'ss' $ NAME", true},
                             {"'SS' $ NAME", false},
                             {"'' $ NAME", false},
                             {"{|| UPPER(NAME)}", text("ROSSI     ")},
                         });
}

TEST(Expression, StringComparisonFollowsTheExactSetting) {
    const ExpressionTable table;
    // Not exact (the default): the right-hand string decides how far to compare.
    expect_values(table, {
                             {"'ABC' = 'AB'", true},
                             {"'AB' = 'ABC'", false},
                             {"NAME = ''", true},
                             {"'ABC' <> 'AB'", false},
                             {"'ABC' # 'ABD'", true},
                             {"'ABC' != 'ABD'", true},
                             {"'AB' < 'ABC'", true},
                             {"'ABC' > 'AB'", false},
                             {"'ABC' >= 'AB'", true},
                             {"'b' > 'a'", true},
                             {"'\xE0' > 'z'", true},
                             {"'ABC' == 'AB'", false},
                             {"'AB ' == 'AB'", false},
                         });
    const ScopedExactComparison exact(true);
    expect_values(table, {
                             {"'ABC' = 'AB'", false},
                             {"'AB  ' = 'AB'", true},
                             {"'AB' = 'AB  '", true},
                             {"'AB' < 'ABC'", true},
                             {"'ABC' > 'AB '", true},
                             {"'AB ' == 'AB'", false},
                         });
}

TEST(Expression, Functions) {
    test::ScopedDateSettings dates;
    const ExpressionTable table;
    expect_values(table, {
                             {"UPPER(NAME) + DTOS(BORN)", text("ROSSI     20240301")},
                             {"upper('\xE0\xE9\x9a\xff\xf7')", text("\xC0\xC9\x8a\x9f\xf7")},
                             {"LOWER('AB\xC0\x8C')", text("ab\xE0\x9C")},
                             {"LTRIM('  a ')", text("a ")},
                             {"ALLTRIM('  a  ')", text("a")},
                             {"RTRIM('   ')", text("")},
                             {"SUBSTR('ABCDEF', 2, 3)", text("BCD")},
                             {"SUBSTR('ABCDEF', -2)", text("EF")},
                             {"SUBSTR('ABC', 5)", text("")},
                             {"SUBSTR('ABC', 0, 2)", text("AB")},
                             {"SUBSTR('ABC', 2, -1)", text("")},
                             {"SUBS('ABCDEF', 3)", text("CDEF")},
                             {"LEFT('ABC', 5)", text("ABC")},
                             {"LEFT('ABC', -1)", text("")},
                             {"RIGHT('ABC', 2)", text("BC")},
                             {"STR(QTY)", text("   12.50")},
                             {"STR(12.5)", text("      12.5")},
                             {"STR(3.14159, 6, 2)", text("  3.14")},
                             {"STR(2.675, 5, 2)", text(" 2.68")},
                             {"STR(-2.5, 4)", text("  -3")},
                             {"STR(123456, 3)", text("***")},
                             {"STR(CODE)", text("    42")},
                             {"STRZERO(42, 6)", text("000042")},
                             {"STRZERO(-5, 4)", text("-005")},
                             {"VAL('  12.5abc')", 12.5},
                             {"VAL('-3')", -3.0},
                             {"VAL('x')", 0.0},
                             {"DTOS(CTOD(''))", text("        ")},
                             {"DTOS(STOD('00010101'))", text("00010101")},
                             {"DTOS({^0999-01-31})", text("09990131")},
                             {"DTOS({^9999-12-31})", text("99991231")},
                             {"STOD('20240229')", Date::of(2024, 2, 29)},
                             {"STOD('20230229')", Date()},
                             {"CTOD('01/02/79')", Date::of(2079, 2, 1)},
                             {"DTOC(BORN)", text("01/03/24")},
                             {"YEAR(BORN) * 10000 + MONTH(BORN) * 100 + DAY(BORN)", 20240301.0},
                             {"YEAR(CTOD(''))", 0.0},
                             {"RECNO()", 7.0},
                             {"!DELETED()", true},
                             {"IIF(OK, 'si', 'no')", text("si")},
                             {"IIF(.F., 1, 2)", 2.0},
                             {"EMPTY(NAME)", false},
                             {"EMPTY('  ')", true},
                             {"EMPTY(0)", true},
                             {"EMPTY(CTOD(''))", true},
                             {"EMPTY(.F.)", true},
                             {"PADL('ab', 5)", text("   ab")},
                             {"PADR('ab', 4, '*')", text("ab**")},
                             {"PADC('ab', 5)", text(" ab  ")},
                             {"PADL('abcdef', 3)", text("abc")},
                             {"PADL(42, 5)", text("   42")},
                             {"PADR(BORN, 9)", text("01/03/24 ")},
                             {"LEN(NAME)", 10.0},
                             {"LEN(TRIM(NAME))", 5.0},
                             {"LEN(NOTES)", 9.0},
                             {"SPACE(3)", text("   ")},
                             {"REPLICATE('ab', 3)", text("ababab")},
                             {"REPLICATE('ab', -1)", text("")},
                             {"AT('ss', NAME)", 3.0},
                             {"AT('', NAME)", 0.0},
                             {"AT('z', NAME)", 0.0},
                             {"ABS(-2.5)", 2.5},
                             {"INT(-2.7)", -2.0},
                             {"ROUND(2.345, 2)", 2.35},
                             {"ROUND(1250, -2)", 1300.0},
                             {"STR(ROUND(QTY * 1.1, 1))", text("      13.8")},
                         });
}

TEST(Expression, DateReadsTheWallClock) {
    util::set_wall_clock([] { return util::LocalDateTime{2026, 12, 6, {}}; });
    const ExpressionTable table;
    EXPECT_EQ(show(table.eval("DATE() - 5")), show(Date::of(2026, 12, 1)));
    util::set_wall_clock({});
}

TEST(Expression, TypesAndWidthsKnownWhenCompiled) {
    test::ScopedDateSettings dates;
    const ExpressionTable typed;
    const ExpressionTable untyped(test::expression_fields(), false);
    struct Shape {
        const char* text;
        char type;
        int width;
    };
    const Shape shapes[] = {
        {"NAME", 'C', 10},
        {"UPPER(NAME) + DTOS(BORN)", 'C', 18},
        {"NAME - 'ab'", 'C', 12},
        {"STR(QTY)", 'C', 8},
        {"STR(QTY, 12, 3)", 'C', 12},
        {"SUBSTR(NAME, 2, 3)", 'C', 3},
        {"SUBSTR(NAME, 8)", 'C', 3},
        {"LEFT(NAME, 4)", 'C', 4},
        {"PADR(TRIM(NAME), 20)", 'C', 20},
        {"DTOC(BORN)", 'C', 8},
        {"IIF(OK, 'ab', 'cd')", 'C', 2},
        {"TRIM(NAME)", 'C', -1},
        {"NOTES", 'C', -1},
        {"QTY * 2", 'N', -1},
        {"BORN + 1", 'D', -1},
        {"BORN - BORN", 'N', -1},
        {"!DELETED()", 'L', -1},
        {"IIF(OK, 1, 'a')", 'U', -1},
    };
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.text);
        const Expression expression = Expression::compile(shape.text, typed);
        EXPECT_EQ(expression.result_type(), shape.type);
        EXPECT_EQ(expression.result_width(), shape.width);
        EXPECT_EQ(expression.text(), shape.text);
    }
    EXPECT_EQ(Expression::compile("NAME", untyped).result_type(), 'U');
    EXPECT_EQ(Expression::compile("UPPER(NAME)", untyped).result_type(), 'C');
    EXPECT_EQ(Expression::compile("QTY / 2", untyped).result_type(), 'N');
}

TEST(Expression, CompileErrorsNameTheExpressionAndThePosition) {
    const ExpressionTable table;
    struct Bad {
        const char* text;
        int position;
        const char* message;
    };
    const Bad cases[] = {
        {"UPPER(NAME", 11, "\")\" expected, end of expression found"},
        {"NAME +", 7, "a value expected"},
        {"1 + * 2", 5, "a value expected, \"*\" found"},
        {"NAME NAME", 6, "end of expression expected, \"NAME\" found"},
        {"NOSUCH", 1, "unknown field NOSUCH"},
        {"X->NAME", 1, "unknown field X->NAME"},
        {"FIELD->", 8, "a field name expected"},
        {"NOSUCH(1)", 1, "unknown function NOSUCH"},
        {"STRI(1)", 1, "unknown function STRI"},
        {"UPPER(QTY)", 7, "argument 1 of UPPER must be character"},
        {"SUBSTR('a')", 1, "wrong number of arguments for SUBSTR"},
        {"'abc", 1, "unterminated string"},
        {"[abc", 1, "unterminated string"},
        {"1 + 'a'", 3, "type mismatch for +"},
        {"NAME = 1", 6, "type mismatch for ="},
        {"OK .AND. 1", 4, "type mismatch for .AND."},
        {"!NAME", 1, "type mismatch for .NOT."},
        {"BORN * 2", 6, "type mismatch for *"},
        {"{^2024-02-30}", 1, "invalid date"},
        {"{^2024}", 1, "invalid date"},
        {"{|| NAME", 9, "\"}\" expected"},
        {"", 1, "empty expression"},
        {"   ", 4, "empty expression"},
        {".AN. 1", 1, "unexpected \".\""},
        {"NAME @ 1", 6, "unexpected \"@\""},
    };
    for (const Bad& bad : cases) {
        SCOPED_TRACE(bad.text);
        try {
            Expression::compile(bad.text, table);
            ADD_FAILURE() << "compiled";
        } catch (const ExpressionError& error) {
            EXPECT_EQ(error.position(), bad.position);
            const std::string what = error.what();
            EXPECT_NE(what.find(std::string("expression \"") + bad.text + "\", position " +
                                std::to_string(bad.position) + ": "),
                      std::string::npos)
                << what;
            EXPECT_NE(what.find(bad.message), std::string::npos) << what;
        }
    }
}

TEST(Expression, NestingIsBounded) {
    const ExpressionTable table;
    const auto nested = [](int levels) {
        return std::string(levels, '(') + "1" + std::string(levels, ')');
    };
    const auto chained = [](int terms) {
        std::string text = "1";
        for (int i = 1; i < terms; ++i) text += "+1";
        return text;
    };
    EXPECT_EQ(show(table.eval(nested(150))), "N:1");
    EXPECT_EQ(show(table.eval(chained(150))), "N:150");
    for (const std::string& text : {nested(1000), chained(1000), std::string(1000, '-') + "1",
                                    "UPPER(" + nested(1000) + ")"}) {
        try {
            Expression::compile(text, table);
            ADD_FAILURE() << "compiled";
        } catch (const ExpressionError& error) {
            EXPECT_NE(std::string(error.what()).find("nested too deeply"), std::string::npos);
        }
    }
}

TEST(Expression, RunTimeErrorsGoToTheErrorHandler) {
    std::vector<util::ErrorRecord> raised;
    const util::ScopedErrorHandler handler([&](const util::ErrorRecord& record) {
        raised.push_back(record);
        return util::ErrorAnswer(0.0);
    });
    const ExpressionTable untyped(test::expression_fields(), false);
    struct Failing {
        const char* text;
        int gencode;
        long subcode;  // 0: none
        const char* operation;
        Value result;
    };
    const Failing cases[] = {
        {"QTY / 0", 5, 1340, "/", 0.0},        {"QTY % (QTY - QTY)", 5, 1341, "%", 0.0},
        {"(QTY / 0) + 1", 5, 1340, "/", 1.0},  {"NAME + 1", 1, 1081, "+", 0.0},
        {"NAME < BORN", 1, 1073, "<", 0.0},    {"OK .AND. NAME", 1, 1078, ".AND.", 0.0},
        {"UPPER(QTY)", 1, 0, "UPPER", 0.0},    {"SUBSTR(NAME, NAME)", 1, 0, "SUBSTR", 0.0},
        {"IIF(NAME, 1, 2)", 1, 0, "IIF", 0.0},
    };
    for (const Failing& c : cases) {
        SCOPED_TRACE(c.text);
        raised.clear();
        EXPECT_EQ(show(untyped.eval(c.text)), show(c.result));
        ASSERT_EQ(raised.size(), 1u);
        EXPECT_EQ(raised[0].gencode, c.gencode);
        EXPECT_EQ(raised[0].subcode.value_or(0), c.subcode);
        EXPECT_EQ(raised[0].operation, c.operation);
        EXPECT_EQ(raised[0].subsystem, "BASE");
        EXPECT_EQ(raised[0].severity, 2);
        EXPECT_FALSE(raised[0].candefault);
    }
    // NIL equals only NIL; a comparison with it is no error.
    std::vector<test::ExpressionField> fields = test::expression_fields();
    fields[0].value = Nil{};
    const ExpressionTable with_nil(fields, false);
    raised.clear();
    EXPECT_EQ(show(with_nil.eval("NAME = 'a'")), "L:F");
    EXPECT_EQ(show(with_nil.eval("NAME <> 'a'")), "L:T");
    EXPECT_TRUE(raised.empty());
}

TEST(Expression, UnansweredRunTimeErrorsStopTheEvaluation) {
    const ExpressionTable table;
    const Expression expression = Expression::compile("QTY / (CODE - 42)", table);
    // The default handler, before the error handler is installed, throws.
    EXPECT_THROW(expression.evaluate(table), util::UnhandledError);
    const util::ScopedErrorHandler handler(
        [](const util::ErrorRecord&) { return util::ErrorAnswer(); });
    try {
        expression.evaluate(table);
        ADD_FAILURE() << "evaluated";
    } catch (const ExpressionError& error) {
        EXPECT_EQ(error.position(), 0);
        EXPECT_STREQ(error.what(), "expression \"QTY / (CODE - 42)\": Zero divide: /");
    }
}

TEST(Expression, EvaluateIntoReusesTheCallersValue) {
    test::ScopedDateSettings dates;
    ExpressionTable table;
    const Expression key = Expression::compile("UPPER(NAME) + DTOS(BORN)", table);
    Value result = 3.0;
    key.evaluate_into(table, result);
    EXPECT_EQ(show(result), "C:ROSSI     20240301");
    table.fields_[0].value = std::string("Bianchi   ");
    key.evaluate_into(table, result);
    EXPECT_EQ(show(result), "C:BIANCHI   20240301");

    // A view that decodes fields into the kept value is asked that way.
    struct DecodingView : ExpressionTable {
        void field_into(int slot, Value& out) const override {
            out = slot == 0 ? Value(std::string("Verdi     ")) : field(slot);
        }
    };
    key.evaluate_into(DecodingView(), result);
    EXPECT_EQ(show(result), "C:VERDI     20240301");
}

}  // namespace
}  // namespace kv::xbase
