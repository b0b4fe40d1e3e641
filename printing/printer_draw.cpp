// TPrinter's drawing operations beyond text at a row: centimetre positions, images, header and
// footer, lines and rectangles.
#include <QDate>
#include <QImage>

#include "gui/text.h"
#include "printing/font.h"
#include "printing/print_text.h"
#include "printing/printer.h"

namespace kv::printing {
namespace {

QColor colour_of(int c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

void draw_image(TPrinter& printer, double row, double col, const std::string& file, double width,
                double height) {
    if (!printer.drawing()) return;
    const QImage image(QString::fromStdString(file));
    if (image.isNull()) return;
    const QSizeF size(width > 0 ? width : image.width(), height > 0 ? height : image.height());
    printer.hOutputDC->drawImage(QRectF(QPointF(col, row), size), image);
}

}  // namespace

void TPrinter::CmSay(double row_cm, double col_cm, const std::string& text, const TFont* font,
                     std::optional<double> width, int colour, int bk_mode,
                     std::optional<Align> align) {
    Cmtr2Pix(row_cm, col_cm);
    Say(row_cm, col_cm, text, font, width, colour, bk_mode, align);
}

void TPrinter::SayBitmap(double row, double col, const std::string& file, double width,
                         double height) {
    draw_image(*this, row, col, file, width, height);
}

void TPrinter::SayImage(double row, double col, const std::string& file, double width,
                        double height) {
    draw_image(*this, row, col, file, width, height);
}

void TPrinter::SayHeader(const std::string& title, const TFont* font) {
    if (!drawing()) return;
    const double row = nVertRes() / 66;
    const double column = nHorzRes() / 80;
    const double margin = left_margin() * column;
    const std::string date = QDate::currentDate().toString("dd/MM/yy").toStdString();
    Say(row, margin, date, font);
    Say(row, nHorzRes() / 2, title, font, {}, 0, 1, Align::Centre);
    Say(row, nHorzRes() - margin, "PAG. " + std::to_string(nPage), font, {}, 0, 1, Align::Right);
}

void TPrinter::SayFooter(const TFont* font) {
    if (!drawing()) return;
    const double row = (63 + PFEED()) * nVertRes() / 66;
    Say(row, nHorzRes() / 2, "- " + std::to_string(nPage) + " -", font, {}, 0, 1, Align::Centre);
}

void TPrinter::Line(double top, double left, double bottom, double right, int pen_width,
                    int colour) {
    if (!drawing()) return;
    hOutputDC->save();
    hOutputDC->setPen(QPen(colour_of(colour), pen_width));
    hOutputDC->drawLine(QPointF(left, top), QPointF(right, bottom));
    hOutputDC->restore();
}

void TPrinter::Box(double top, double left, double bottom, double right, int pen_width,
                   int colour) {
    if (!drawing()) return;
    hOutputDC->save();
    hOutputDC->setPen(QPen(colour_of(colour), pen_width));
    hOutputDC->setBrush(Qt::NoBrush);
    hOutputDC->drawRect(QRectF(QPointF(left, top), QPointF(right, bottom)));
    hOutputDC->restore();
}

void TPrinter::FillRect(double top, double left, double bottom, double right, int colour) {
    if (!drawing()) return;
    hOutputDC->fillRect(QRectF(QPointF(left, top), QPointF(right, bottom)), colour_of(colour));
}

}  // namespace kv::printing
