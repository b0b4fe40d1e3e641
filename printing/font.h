#pragma once
// A font made for a printer: its height in points becomes the printer's device units, so text
// keeps its size on the page whatever the printer's resolution.
#include <QFont>
#include <string>

namespace kv::printing {

class TPrinter;

class TFont {
  public:
    // `width` 0 keeps the face's own proportions; otherwise the average character width in points.
    TFont(const std::string& face, double width, double height_points, const TPrinter& device,
          bool bold = false);
    // Releases the font (nothing is drawn with it afterwards).
    void End() {}

    const QFont& font() const { return font_; }

  private:
    QFont font_;
};

}  // namespace kv::printing
