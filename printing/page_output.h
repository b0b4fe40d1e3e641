#pragma once
// Recorded pages played onto other devices: a screen area, a printer, a PDF file. A page recorded
// for one printer is scaled to the target's whole printable area.
#include <QPageLayout>
#include <QPicture>
#include <functional>
#include <string>
#include <vector>

class QPainter;
class QPrinter;

namespace kv::printing {

class TPrinter;
struct PageGeometry;

// The resolution of recorded pages. Played on a device of another resolution, their text would
// change size: printers are set to it, screens are drawn through images of it.
int picture_dpi();

// Loads a page file; an unreadable file gives an empty page (false).
bool load_page(const std::string& name, QPicture& page);

// Draws a recorded page with the anisotropic mapping: the recording's printable area (horz_res x
// vert_res device units) onto `target`.
void play_page(QPainter& painter, const QPicture& page, const PageGeometry& recorded,
               const QRectF& target);

// The pages to print, collated: each copy runs through first..last in order.
std::vector<int> print_order(int first, int last, int copies);

// How a print of recorded pages went.
struct PrintResult {
    bool ok = false;
    int pages = 0;          // pages printed whole
    std::vector<int> lost;  // pages left out: their page files could not be read back
    std::string error;      // why it failed
};

// Prints the device's pages in `order` (page numbers from 1) on `target` under the device's
// document name; `before_page` runs before each page (the status pop-up's counter).
PrintResult print_pages(const TPrinter& device, const std::vector<int>& order, QPrinter& target,
                        const std::function<void()>& before_page = {});

// Writes every page of the device into a PDF file of the recording's page size. The document is
// written under a temporary name beside `file`, every write and the close checked, and renamed
// into place only when whole: a failure (a full disk, a folder gone) leaves no file and says why.
PrintResult write_pdf(const TPrinter& device, const std::string& file);

// The page of PDF files: the paper of the system's locale (LC_PAPER; A4 when unset) with the
// recording's margins. A document recorded on a printer's other paper is scaled onto it.
QPageLayout local_paper_layout(const QPageLayout& recorded);

// "Pages 2 and 5 were lost: their page files could not be read back."
std::string lost_pages_text(const std::vector<int>& lost);

// A name for a new file in `folder`: "<stem> YYYY-MM-DD HH-MM-SS.pdf", with " (2)", " (3)" ...
// added when that name is taken; never the name of an existing file.
std::string dated_pdf_name(const std::string& folder, const std::string& stem);

}  // namespace kv::printing
