#pragma once
// The installed printers (CUPS queues through Qt PrintSupport) and the page geometry of a printer.
// Everything that asks which printers exist goes through one seam, so tests can stand in for them.
#include <QPageLayout>
#include <memory>
#include <string>
#include <vector>

class QPrinter;

namespace kv::printing {

// The installed printers, as the printing layer asks for them.
class PrinterDirectory {
  public:
    virtual ~PrinterDirectory() = default;
    // The names of the installed printers, in the order the system gives them.
    virtual std::vector<std::string> names() = 0;
    // The default printer's name; "" when there is none.
    virtual std::string default_name() = 0;
    // A printer for the name, ready to print; nullptr when there is no such printer.
    virtual std::unique_ptr<QPrinter> open(const std::string& name) = 0;
};

// The directory in use: CUPS, unless a test installed another (nullptr goes back to CUPS).
PrinterDirectory& printers();
// Puts another directory in place (nullptr: CUPS).
void set_printers(PrinterDirectory* directory);

// The printer of a job that names none: the default printer, or, when no default is set, the
// only installed printer. Empty when neither exists; `details` then says why, and with several
// printers installed, which they are and how to make one the default.
struct PrinterChoice {
    std::string name;
    std::string details;
};
// The printer of a job that names none (see PrinterChoice).
PrinterChoice choose_default_printer();

// The printer names for a choice list: an empty entry, then the names sorted.
std::vector<std::string> ADEVNAMES();

// The desktop's printer set-up dialog; true when the user chose a printer (it becomes the default
// printer of later print jobs of this program).
bool PSETUP();

// The page of a printer, in its device units: the printable area is the page grid's whole.
struct PageGeometry {
    double horz_res = 0;   // printable width
    double vert_res = 0;   // printable height
    double horz_size = 0;  // physical width in millimetres
    double vert_size = 0;
    double dpi_x = 0;
    double dpi_y = 0;
    double x_offset = 0;  // printable area's offsets on the paper
    double y_offset = 0;
    QPageLayout layout;  // paper and margins, for writing the same page elsewhere
};
// The page geometry of a printer.
PageGeometry geometry_of(QPrinter& printer);

// The paper of the system's locale (LC_PAPER); A4 when it names none.
QPageSize locale_paper();

// The page that documents are recorded on when no printer is used: the locale's paper with
// quarter-inch margins, at 600 dots per inch.
QPageLayout fallback_layout();
constexpr int kFallbackDpi = 600;
// The geometry of the fallback page.
PageGeometry fallback_geometry();

// A printer that writes a PDF file with the given page layout.
std::unique_ptr<QPrinter> pdf_printer(const std::string& file, const QPageLayout& layout);

}  // namespace kv::printing
