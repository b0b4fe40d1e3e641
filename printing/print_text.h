#pragma once
// Text lines on the page grid of 66 rows by 80 columns, with the current row kept between calls,
// and the helpers that cut long texts into lines for justified printing.
#include <optional>
#include <string>
#include <vector>

namespace kv::printing {

class TPrinter;
class TFont;

// The end of a paragraph in a text to be justified: the line is printed unjustified.
inline constexpr char PARAGRAPH_END = '\x7f';

// Where and how PRINTTXT prints its lines.
struct TextOptions {
    // Column in 80ths of the page width, before the left margin is added. 0: go on from where the
    // previous text ended on the same row. None: the left margin, one line step lower.
    std::optional<double> column;
    bool right = false;            // right-aligned at column + length
    std::optional<double> length;  // in columns
    bool centre = false;           // centred on the page, or on column + length / 2
    const TFont* font = nullptr;
    std::optional<double> width;    // in columns: the text is clipped to it
    bool justify = false;           // blanks widened to fill the width
    std::optional<int> colour;      // Windows colour 0x00BBGGRR; black when none
    std::optional<int> background;  // opaque background in this colour; transparent when none
};

// Prints the lines, joined by single blanks, at the current row (see TextOptions).
void PRINTTXT(const std::vector<std::string>& lines, TPrinter& printer,
              const TextOptions& options = {});

// The current row in device units (0: top of a fresh page); a given row becomes current.
double SETPROW(std::optional<double> row = {});
// Rows advanced per printed line; a given step becomes current. Every new printer resets it to 1.
double PFEED(std::optional<double> step = {});

// Kept for programs written for other printing layers: they do nothing.
void PRINTBEGIN();
// Does nothing (kept for older programs).
void PRINTEND();
// Does nothing (kept for older programs).
void PAGEBEGIN();
// Does nothing (kept for older programs).
void PAGEEND();

// The run-time left margin in columns.
int left_margin();

// Prints a whole multi-line text on a new document printed directly on the default printer, in
// "Courier New" 10 points, starting a new page when the row reaches 60.
void MEMOPRT(const std::string& text, const std::string& document = {});
// The text cut into lines of at most `width` columns (80 less twice the margin when none), at
// blanks where possible; CR LF and LF end paragraphs. A paragraph-end mark is not counted.
std::vector<std::string> AMEMOLINE(const std::string& text, std::optional<int> width = {});
// The text with a paragraph-end mark at the end of each paragraph.
std::string MEMOADJ(const std::string& text);

// Restores the current row and line step at the end of a scope (tests).
class ScopedPrintPosition {
  public:
    ScopedPrintPosition();
    ~ScopedPrintPosition();
    ScopedPrintPosition(const ScopedPrintPosition&) = delete;
    ScopedPrintPosition& operator=(const ScopedPrintPosition&) = delete;

  private:
    double row_;
    double step_;
};

}  // namespace kv::printing

namespace kv::printing {

// The last row of the page grid that lies on the page.
inline constexpr int kLastRow = 65;
// True when a line printed now without a column lands on the page (row 65 at the most).
bool next_line_fits(const TPrinter& printer);

}  // namespace kv::printing
