#pragma once
// A font made for a printer: its height in points becomes the printer's device units, so text
// keeps its size on the page whatever the printer's resolution.
#include <QFont>
#include <string>

namespace kv::printing {

class TPrinter;

// A font for a printer (see the top of this file).
class TFont {
  public:
    // `width` 0 keeps the face's own proportions; otherwise the average character width in points.
    TFont(const std::string& face, double width, double height_points, const TPrinter& device,
          bool bold = false);
    // Releases the font (nothing is drawn with it afterwards).
    void End() {}

    // The font as Qt draws it.
    const QFont& font() const { return font_; }

  private:
    QFont font_;
};

}  // namespace kv::printing
