#include "printing/font.h"

#include <QFontMetricsF>
#include <cmath>

#include "gui/text.h"
#include "printing/printer.h"

namespace kv::printing {

TFont::TFont(const std::string& face, double width, double height_points, const TPrinter& device,
             bool bold) {
    const double dpi_y = device.nLogPixelY() > 0 ? device.nLogPixelY() : 96.0;
    const double dpi_x = device.nLogPixelX() > 0 ? device.nLogPixelX() : 96.0;
    font_.setFamily(gui::from_ansi(face));
    font_.setStyleHint(QFont::TypeWriter);
    font_.setPixelSize(std::max(1, static_cast<int>(std::lround(height_points * dpi_y / 72.0))));
    font_.setBold(bold);
    if (width > 0) {
        // Stretch the face so that its average character is `width` points wide.
        const double wanted = width * dpi_x / 72.0;
        const double natural = QFontMetricsF(font_).averageCharWidth();
        if (natural > 0)
            font_.setStretch(
                std::clamp(static_cast<int>(std::lround(100 * wanted / natural)), 1, 4000));
    }
}

}  // namespace kv::printing
