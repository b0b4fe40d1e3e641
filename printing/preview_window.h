#pragma once
// The preview window (TPreview) and its page view (TMetaFile).
#include <QPicture>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "printing/printers.h"

class QLabel;
class QScrollBar;
class QStatusBar;
class QToolBar;
class QToolButton;

namespace kv::printing {

class TPrinter;

// Shows the visible part of one page: the page rectangle (nXOrig, nYOrig, nWidth, nHeight) in
// the recording's device units, drawn into the whole control.
class TMetaFile : public QWidget {
  public:
    TMetaFile(QWidget* parent, const PageGeometry& page);
    // Loads another page file.
    void SetFile(const std::string& name);
    // Shows another page (an empty one when its file could not be read).
    void set_page(const QPicture& page);

    double nPixelWidth = 0, nPixelHeight = 0;
    double nWidth = 0, nHeight = 0;
    double nXOrig = 0, nYOrig = 0;

    std::function<void(QPointF)> on_click;
    std::function<void(int vk)> on_key;
    std::function<void(bool middle_button, int delta)> on_wheel;

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    const PageGeometry& page_;
    QPicture hMeta;
};

class TPreview : public QWidget {
  public:
    // Opening: the window with its bars and the first page (not shown yet).
    TPreview(TPrinter& device, bool no_print);
    ~TPreview() override;

    // Shows the preview of the device's pages maximised and returns when it has been closed;
    // the device is ended then.
    static void New(TPrinter& device, bool no_print);

    void Resize();
    // Windows key codes: Home 36, End 35, Page Up 33, Page Down 34, arrows 37 to 40; 0 refreshes.
    void CheckKey(int vk);
    // A scroll bar's action (QAbstractSlider::SliderAction) and its slider position.
    void ChkScroll(Qt::Orientation orientation, int action, int position);
    void ChkWheel(bool middle_button, int delta);
    // Switches the zoom; zooming in at a point of the page view centres the view on it.
    void Zoom(std::optional<QPointF> at = {});
    void Print();
    // Writes the document as a PDF file; without a name, asks for one ("KV Project.pdf" in the
    // current folder). True when the file was written.
    bool SavePdf(std::optional<std::string> file = {});
    void HideAll();
    void ShowAll();

    int nPage = 1;
    bool lZoom = false;
    double nMaxWidth = 0;
    TMetaFile* oMeta = nullptr;
    QScrollBar* oVScroll = nullptr;
    QScrollBar* oHScroll = nullptr;

    int pages() const;
    QString page_text() const;
    QToolButton* button(const std::string& name) const;

  protected:
    void resizeEvent(QResizeEvent*) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void go_to(int page, bool clamp);
    void scroll_by(double dx, double dy);
    void show_page();
    void add_button(const std::string& name, const QString& tooltip, const char* theme_icon,
                    int fallback_icon, std::function<void()> action);

    TPrinter& oDevice;
    bool no_print_;
    QToolBar* bar_;
    QLabel* page_label_;
    QStatusBar* message_bar_;
    std::map<std::string, QToolButton*> buttons_;
    std::vector<QPointer<QWidget>> hidden_;
    std::function<void()> on_closed_;
};

}  // namespace kv::printing
