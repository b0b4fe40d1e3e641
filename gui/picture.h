#pragma once
// Numbers shown under a display picture. "9" and "#" are digit places, "." the decimal point, ","
// a thousands separator that shows only between digits; any other character stands for itself.
// A picture may begin with a function part ("@..." up to a blank), which is not used.
#include <string>

namespace kv::gui {

// The number under the picture, rounded to its decimal places. A number that does not fit shows
// "*" in every digit place ("999" with 1000 gives "***"). Without a picture: the shortest text
// that reads back as the same number.
std::string format_number(double value, const std::string& picture);
// True when the number fits the picture.
bool number_fits(double value, const std::string& picture);
// The number that a text shows: blanks and thousands separators ignored; 0 when it shows none.
double parse_number(const std::string& text);

}  // namespace kv::gui
