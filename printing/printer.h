#pragma once
// TPrinter: one document on one printer. It prints directly, page by page, or records every page
// in a page file (a Qt picture) for the preview. Without a printer every operation does nothing,
// unless the caller asked for the pages to be recorded all the same (on an A4 page), so that a
// preview or a PDF file can still show them.
#include <QPainter>
#include <QPicture>
#include <QPointer>
#include <QPrinter>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "printing/printers.h"
#include "printing/progress_dialog.h"

class QWidget;

namespace kv::printing {

class TFont;

// Text alignment of Say: left and top, right at the column, centred on it.
enum class Align { Left = 0, Right = 1, Centre = 2 };

// What a new printer job is: its document name, preview or print, and the printer.
struct PrinterOptions {
    std::string document;                // cDocument
    bool preview = false;                // lPreview
    bool no_print = false;               // lNoPrint
    std::optional<std::string> printer;  // a queue name; none: the default printer
    // Without any printer, record the pages on the fallback page anyway (printing from the
    // preview is then impossible, saving them as PDF is not).
    bool record_without_printer = false;
    // Record on the fallback page without looking for a printer (the pages go to PDF files).
    bool fallback_page_only = false;
};

// One document on one printer (see the top of this file).
class TPrinter {
  public:
    // New: shows "Impossibile trovare la stampante <name>." when no printer can be had.
    explicit TPrinter(const PrinterOptions& options = {});
    // Calls End when it has not run yet.
    ~TPrinter();
    TPrinter(const TPrinter&) = delete;
    TPrinter& operator=(const TPrinter&) = delete;

    // Ends the document: a direct print goes to the printer, the page files are deleted.
    void End();
    // Shows the recorded pages in the preview (preview mode), and returns once it is closed.
    void Preview();
    // Closes the progress dialog.
    void CloseWnd();
    // Begins a page.
    void StartPage();
    // Ends the page: recorded to its page file in preview mode.
    void EndPage();

    // Draws one text at a row and column in device units (see Align for `align`); `colour` and
    // `background` are Windows colour values (0x00BBGGRR); `bk_mode` 1 transparent, 2 opaque.
    void Say(double row, double col, const std::string& text, const TFont* font = nullptr,
             std::optional<double> width = {}, int colour = 0, int bk_mode = 1,
             std::optional<Align> align = Align::Left);
    // Say at a position in centimetres from the paper's corner.
    void CmSay(double row_cm, double col_cm, const std::string& text, const TFont* font = nullptr,
               std::optional<double> width = {}, int colour = 0, int bk_mode = 1,
               std::optional<Align> align = Align::Left);
    // An image file scaled into the rectangle (device units; a size of 0 keeps the image's own).
    void SayBitmap(double row, double col, const std::string& file, double width = 0,
                   double height = 0);
    // An image file of any format Qt reads, scaled into the rectangle.
    void SayImage(double row, double col, const std::string& file, double width = 0,
                  double height = 0);
    // Title, date and "PAG. " with the page number across the top of the page.
    void SayHeader(const std::string& title, const TFont* font = nullptr);
    // "- n -" centred one line step below row 63.
    void SayFooter(const TFont* font = nullptr);
    // Moves the current position (device units).
    void SetPos(double row, double col);
    // A line from one point to another.
    void Line(double top, double left, double bottom, double right, int pen_width = 1,
              int colour = 0);
    // The outline of a rectangle.
    void Box(double top, double left, double bottom, double right, int pen_width = 1,
             int colour = 0);
    // A rectangle filled with a colour.
    void FillRect(double top, double left, double bottom, double right, int colour);

    // The printable width in device units.
    double nHorzRes() const { return geometry_.horz_res; }
    // The printable height in device units.
    double nVertRes() const { return geometry_.vert_res; }
    // The paper's width in millimetres.
    double nHorzSize() const { return geometry_.horz_size; }
    // The paper's height in millimetres.
    double nVertSize() const { return geometry_.vert_size; }
    // Device units per inch across.
    double nLogPixelX() const { return geometry_.dpi_x; }
    // Device units per inch down.
    double nLogPixelY() const { return geometry_.dpi_y; }
    // The width of a text in device units, in the font (the printer's own when none).
    double GetTextWidth(const std::string& text, const TFont* font = nullptr) const;
    // Centimetres from the paper's corner to device units of the printable area, in place.
    void Cmtr2Pix(double& row, double& col) const;

    // The state PRINTTXT works with: text alignment on the current position and the extra
    // spacing spread over blanks for justification.
    void align_on_current_position(Align align);
    // Sets the extra spacing per blank of justified text.
    void set_justification(double extra_per_blank) { justify_extra_ = extra_per_blank; }
    // Sets the background colour; returns the previous one.
    int set_background(int colour);

    // True while drawing reaches a page (a printer or recording without one, a page started, not
    // cancelled).
    bool drawing() const { return hOutputDC != nullptr && !lCancel; }
    // True when there is something to draw for: a printer, or recording without one.
    bool active() const { return hPrinterDC != nullptr || recording_only_; }
    // The page geometry of the printer (or of the fallback page).
    const PageGeometry& geometry() const { return geometry_; }
    // The page layout the pages were recorded on (paper, margins, orientation).
    const QPageLayout& page_layout() const { return geometry_.layout; }
    // The page files that could not be written (a full disk); those pages are kept in memory.
    const std::vector<std::string>& unwritten_pages() const { return unwritten_; }
    // A recorded page (from 1): from its page file, or from memory when the file could not be
    // written. False when the page file cannot be read back.
    bool page(int number, QPicture& out) const;
    // The name of the page file for a page of this job (see printing/page_files.h).
    std::string page_file_name(int page) const;

    // The printer's instance variables, under their historical names.
    std::string cDocument;
    std::string cModel;
    std::unique_ptr<QPrinter> hPrinterDC;
    QPainter* hOutputDC = nullptr;
    double nXOffset = 0;
    double nYOffset = 0;
    int nPage = 1;
    bool lPreview = false;
    bool lNoPrint = false;
    std::vector<std::string> aMeta;
    int nMeta = 1;
    QPointer<QWidget> hWnd;
    // Owned by the printer, or by the window it is above when that window goes first.
    QPointer<ProgressDialog> oDlg;
    bool lCancel = false;
    long nRec = 0;  // the current work area's record at creation (0: no table); End goes back

  private:
    void draw_text(QPainter& painter, QPointF at, const QString& text, const QFont& font,
                   Align align);
    QFont font_for(const TFont* font) const;
    void save_page();

    PageGeometry geometry_;
    long job_ = 0;  // the job's number in this process
    bool recording_only_ = false;
    bool ended_ = false;
    bool document_started_ = false;
    QPicture page_;
    QPainter painter_;
    // The output context's state.
    QPointF current_;
    Align align_ = Align::Left;
    bool update_cp_ = false;
    double justify_extra_ = 0;
    int background_ = 0xFFFFFF;
    std::vector<std::string> unwritten_;
    std::map<int, QPicture> kept_;  // pages whose files could not be written
};

}  // namespace kv::printing
