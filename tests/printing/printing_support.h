#pragma once
// Test pieces for the printing module: stand-in printers that write PDF files, and a paint device
// that records where each text lands.
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPrinter>
#include <memory>
#include <string>
#include <vector>

#include "printing/page_output.h"
#include "printing/print_text.h"
#include "printing/printers.h"
#include "tests/support/temp_dir.h"

namespace kv::test {

// Printers whose output is a PDF file in a temporary folder.
class PdfPrinters : public printing::PrinterDirectory {
  public:
    explicit PdfPrinters(std::vector<std::string> names, std::string default_name = {})
        : names_(std::move(names)),
          default_(std::move(default_name)),
          previous_(&printing::printers()) {
        printing::set_printers(this);
    }
    ~PdfPrinters() override { printing::set_printers(previous_); }
    std::vector<std::string> names() override { return names_; }
    std::string default_name() override { return default_; }
    std::unique_ptr<QPrinter> open(const std::string& name) override {
        if (std::find(names_.begin(), names_.end(), name) == names_.end()) return nullptr;
        auto printer = printing::pdf_printer(output(name), layout);
        printer->setPrinterName(QString());  // a PDF printer keeps no queue name
        return printer;
    }
    std::string output(const std::string& name) const {
        return (dir.path() / (name + ".pdf")).string();
    }

    QPageLayout layout = printing::fallback_layout();
    TempDir dir;

  private:
    std::vector<std::string> names_;
    std::string default_;
    printing::PrinterDirectory* previous_;
};

// One drawn text: where its top-left corner lies, in the device's units.
struct DrawnText {
    std::string text;
    double x;
    double top;
    double width;
};

// A paint device of the recorded pages' resolution whose engine keeps every drawn text.
class TextRecorder : public QPaintDevice {
  public:
    TextRecorder(int width, int height) : width_(width), height_(height), engine_(this) {}
    QPaintEngine* paintEngine() const override { return &engine_; }
    std::vector<DrawnText> texts;

  protected:
    int metric(PaintDeviceMetric m) const override {
        switch (m) {
            case PdmWidth:
                return width_;
            case PdmHeight:
                return height_;
            case PdmDpiX:
            case PdmDpiY:
            case PdmPhysicalDpiX:
            case PdmPhysicalDpiY:
                return printing::picture_dpi();
            case PdmDepth:
                return 32;
            case PdmDevicePixelRatio:
                return 1;
            case PdmDevicePixelRatioScaled:
                return static_cast<int>(devicePixelRatioFScale());
            default:
                return 1;
        }
    }

  private:
    class Engine : public QPaintEngine {
      public:
        explicit Engine(TextRecorder* owner) : QPaintEngine(AllFeatures), owner_(owner) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState& state) override {
            if (state.state() & DirtyTransform) transform_ = state.transform();
        }
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawTextItem(const QPointF& p, const QTextItem& item) override {
            const QPointF at = transform_.map(QPointF(p.x(), p.y() - item.ascent()));
            const double width = transform_.map(QLineF(0, 0, item.width(), 0)).length();
            owner_->texts.push_back({item.text().toStdString(), at.x(), at.y(), width});
        }
        Type type() const override { return User; }

      private:
        TextRecorder* owner_;
        QTransform transform_;
    };
    int width_;
    int height_;
    mutable Engine engine_;
};

// The texts of a page file, at the recording's own scale.
inline std::vector<DrawnText> texts_of_page(const std::string& page_file, int width, int height) {
    QPicture picture;
    printing::load_page(page_file, picture);
    TextRecorder recorder(width, height);
    QPainter painter(&recorder);
    painter.drawPicture(0, 0, picture);
    painter.end();
    return recorder.texts;
}

}  // namespace kv::test
