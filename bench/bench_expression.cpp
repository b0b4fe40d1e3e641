// Evaluations per second of compiled expressions over a table of records held in memory, as an
// index build and a filtered view evaluate them; the reference is the same computation written
// by hand in C++ over the same record access.
#include <algorithm>
#include <cstring>
#include <iostream>

#include "bench/support.h"
#include "platform/files.h"
#include "xbase/expression.h"

using namespace kv::bench;
using kv::util::Date;
using kv::xbase::Value;

namespace {

// Records laid out as a table file holds them: the deleted flag, NAME C10, BORN D8 (yyyymmdd),
// QTY N8.2, each field as text.
constexpr std::size_t kRecordSize = 1 + 10 + 8 + 8;
enum Slot { kName, kBorn, kQty };

class Table : public kv::xbase::FieldBinder, public kv::xbase::RecordView {
  public:
    explicit Table(std::size_t count) : bytes_(count * kRecordSize) {
        static const char* const kNames[] = {"Rossi",   "bianchi", "Verdi",  "Esposito", "Russo",
                                             "Colombo", "Ricci",   "Marino", "Greco",    "Bruno"};
        std::uint32_t seed = 12345;
        for (std::size_t i = 0; i < count; ++i) {
            seed = seed * 1103515245u + 12345u;
            char* record = &bytes_[i * kRecordSize];
            char text[32];
            std::snprintf(text, sizeof text, "%c%-10.10s%04u%02u%02u%8.2f",
                          seed % 10 == 0 ? '*' : ' ', kNames[(seed >> 8) % 10],
                          1950 + (seed >> 12) % 70, 1 + (seed >> 4) % 12, 1 + (seed >> 16) % 28,
                          ((seed >> 7) % 10000) / 100.0);
            std::memcpy(record, text, kRecordSize);
        }
    }

    std::size_t count() const { return bytes_.size() / kRecordSize; }
    void go(std::size_t record) {
        current_ = &bytes_[record * kRecordSize];
        number_ = record + 1;
    }

    std::optional<int> bind(std::string_view alias, std::string_view name) const override {
        if (!alias.empty()) return std::nullopt;
        if (name == "NAME") return kName;
        if (name == "BORN") return kBorn;
        if (name == "QTY") return kQty;
        return std::nullopt;
    }
    kv::xbase::FieldShape shape(int slot) const override {
        static const kv::xbase::FieldShape kShapes[] = {{'C', 10, 0}, {'D', 8, 0}, {'N', 8, 2}};
        return kShapes[slot];
    }

    Value field(int slot) const override {
        switch (slot) {
            case kName:
                return std::string(current_ + 1, 10);
            case kBorn: {
                int number = 0;
                for (int i = 0; i < 8; ++i) number = number * 10 + (current_[11 + i] - '0');
                return Date::of(number / 10000, number / 100 % 100, number % 100);
            }
            default: {
                char text[9];
                std::memcpy(text, current_ + 19, 8);
                text[8] = '\0';
                return std::strtod(text, nullptr);
            }
        }
    }
    long record_number() const override { return static_cast<long>(number_); }
    bool deleted() const override { return current_[0] == '*'; }

  private:
    std::vector<char> bytes_;
    const char* current_ = nullptr;
    std::size_t number_ = 0;
};

// The hand-written equivalents, reading the record through the same view and writing into the
// caller's value as the expressions do.
std::string& text_slot(Value& out) {
    if (!std::holds_alternative<std::string>(out)) out = std::string();
    return std::get<std::string>(out);
}

void upper_name_born(const Table& table, Value& out) {
    std::string& key = text_slot(out);
    key = kv::platform::to_upper_name(std::get<std::string>(table.field(kName)));
    const Date born = std::get<Date>(table.field(kBorn));
    const int year = born.year(), month = born.month(), day = born.day();
    const char digits[8] = {
        static_cast<char>('0' + year / 1000),    static_cast<char>('0' + year / 100 % 10),
        static_cast<char>('0' + year / 10 % 10), static_cast<char>('0' + year % 10),
        static_cast<char>('0' + month / 10),     static_cast<char>('0' + month % 10),
        static_cast<char>('0' + day / 10),       static_cast<char>('0' + day % 10)};
    key.append(digits, 8);
}

void name_only(const Table& table, Value& out) {
    out = table.field(kName);
}

void filter(const Table& table, Value& out) {
    bool pass = !table.deleted() && std::get<double>(table.field(kQty)) > 50;
    if (pass) {
        const std::string name =
            kv::platform::to_upper_name(std::get<std::string>(table.field(kName)));
        pass = name.find("SS") != std::string::npos;
    }
    out = pass;
}

struct Subject {
    const char* text;
    void (*reference)(const Table&, Value&);
};

// Seconds for one pass over every record; the values are folded into a check sum.
template <typename Evaluate>
double pass(Table& table, Evaluate evaluate, std::size_t& sum) {
    Value value;
    const auto start = Clock::now();
    for (std::size_t i = 0; i < table.count(); ++i) {
        table.go(i);
        evaluate(value);
        if (const auto* text = std::get_if<std::string>(&value))
            sum += (*text)[text->size() - 1];
        else if (const auto* logical = std::get_if<bool>(&value))
            sum += *logical;
    }
    return seconds_since(start);
}

}  // namespace

int main(int argc, char** argv) {
    Options options("bench_expression",
                    "Measures evaluations per second of compiled expressions (an index key, a\n"
                    "bare field, a view filter) over records held in memory, and of the same\n"
                    "computations written by hand in C++ over the same record access. The best\n"
                    "round of each counts.\n"
                    "Goal: every expression within 3 x the time of its hand-written equivalent.");
    options.add("records", "records in the table", "1000000").add("rounds", "rounds of each", "3");
    options.parse(argc, argv);

    return run([&] {
        const std::size_t records = std::max<std::size_t>(options.count("records"), 1);
        const std::size_t rounds = std::max<std::size_t>(options.count("rounds"), 1);
        Table table(records);
        std::cout << grouped(static_cast<double>(records)) << " records, best of " << rounds
                  << " rounds\n";
        const Subject subjects[] = {
            {"UPPER(NAME)+DTOS(BORN)", upper_name_born},
            {"NAME", name_only},
            {"!DELETED() .AND. QTY > 50 .AND. 'SS' $ UPPER(NAME)", filter},
        };
        bool met = true;
        for (const Subject& subject : subjects) {
            const kv::xbase::Expression expression =
                kv::xbase::Expression::compile(subject.text, table);
            double compiled = 1e9, by_hand = 1e9;
            for (std::size_t round = 0; round < rounds; ++round) {
                std::size_t a = 0, b = 0;
                compiled = std::min(
                    compiled, pass(
                                  table, [&](Value& v) { expression.evaluate_into(table, v); }, a));
                by_hand = std::min(by_hand,
                                   pass(
                                       table, [&](Value& v) { subject.reference(table, v); }, b));
                if (a != b) throw Broken(std::string("different values for ") + subject.text);
            }
            const double n = static_cast<double>(records);
            heading(subject.text);
            figure("compiled expression", grouped(n / compiled) + " evaluations/s (" +
                                              fixed(compiled * 1e9 / n, 1) + " ns each)");
            figure("reference: by hand", grouped(n / by_hand) + " evaluations/s (" +
                                             fixed(by_hand * 1e9 / n, 1) + " ns each)");
            figure("ratio of times expression / hand", ratio(compiled / by_hand));
            met = goal("within 3 x the hand-written time", compiled <= 3 * by_hand) && met;
        }
        return 0;
    });
}
