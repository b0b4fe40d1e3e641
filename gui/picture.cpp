#include "gui/picture.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kv::gui {
namespace {

bool is_digit_place(char c) {
    return c == '9' || c == '#';
}

std::string template_of(const std::string& picture) {
    if (picture.empty() || picture[0] != '@') return picture;
    const auto blank = picture.find(' ');
    return blank == std::string::npos ? std::string() : picture.substr(blank + 1);
}

std::string shortest(double value) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, end) : std::string("*");
}

struct Places {
    int integer = 0;
    int decimals = 0;
};

Places places_of(const std::string& tmpl) {
    Places p;
    const auto point = tmpl.find('.');
    for (std::size_t i = 0; i < tmpl.size(); ++i)
        if (is_digit_place(tmpl[i]))
            (point != std::string::npos && i > point ? p.decimals : p.integer)++;
    return p;
}

// The digits of |value| rounded to the decimal places, split at the point, and whether they fit.
struct Digits {
    std::string integer;
    std::string fraction;
    bool negative = false;
    bool fits = true;
};

Digits digits_of(double value, const std::string& tmpl) {
    const Places p = places_of(tmpl);
    Digits d;
    if (!std::isfinite(value)) {
        d.fits = false;
        return d;
    }
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.*f", p.decimals, std::fabs(value));
    std::string text = buffer;
    const auto point = text.find('.');
    d.integer = text.substr(0, point);
    if (point != std::string::npos) d.fraction = text.substr(point + 1);
    d.negative = value < 0 && text.find_first_not_of("0.") != std::string::npos;
    if (d.integer == "0" && p.decimals > 0 && p.integer == 0) d.integer.clear();
    const std::size_t need = d.integer.size() + (d.negative ? 1 : 0);
    d.fits = need <= static_cast<std::size_t>(p.integer);
    return d;
}

}  // namespace

std::string format_number(double value, const std::string& picture) {
    const std::string tmpl = template_of(picture);
    if (places_of(tmpl).integer + places_of(tmpl).decimals == 0) return shortest(value);
    const Digits d = digits_of(value, tmpl);
    std::string out = tmpl;
    if (!d.fits) {
        for (char& c : out)
            if (is_digit_place(c)) c = '*';
        return out;
    }
    const auto point = tmpl.find('.');
    // Integer places from the right; separators show only with a digit on their left.
    std::size_t next = d.integer.size();
    const std::size_t end = point == std::string::npos ? tmpl.size() : point;
    bool sign_done = !d.negative;
    for (std::size_t i = end; i-- > 0;) {
        char& c = out[i];
        if (is_digit_place(c)) {
            if (next > 0) {
                c = d.integer[--next];
            } else if (!sign_done) {
                c = '-';
                sign_done = true;
            } else {
                c = ' ';
            }
        } else if (c == ',' && next == 0) {
            c = ' ';
        }
    }
    std::size_t f = 0;
    for (std::size_t i = end; i < out.size(); ++i)
        if (is_digit_place(out[i])) out[i] = f < d.fraction.size() ? d.fraction[f++] : '0';
    return out;
}

bool number_fits(double value, const std::string& picture) {
    const std::string tmpl = template_of(picture);
    if (places_of(tmpl).integer + places_of(tmpl).decimals == 0) return std::isfinite(value);
    return digits_of(value, tmpl).fits;
}

double parse_number(const std::string& text) {
    std::string plain;
    for (char c : text)
        if (c != ' ' && c != ',') plain += c;
    const char* begin = plain.c_str();
    char* end = nullptr;
    const double value = std::strtod(begin, &end);
    return end == begin || !std::isfinite(value) ? 0.0 : value;
}

}  // namespace kv::gui
