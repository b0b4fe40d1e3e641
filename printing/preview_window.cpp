#include "printing/preview_window.h"

#include <QApplication>
#include <QBitmap>
#include <QCloseEvent>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>

#include "gui/key_tracker.h"
#include "gui/text.h"
#include "platform/keystate.h"
#include "printing/page_output.h"
#include "printing/print_dialog.h"
#include "printing/printer.h"
#include "util/msgbox.h"
#include "util/status_popup.h"

namespace kv::printing {
namespace {

constexpr int kButtonSize = 33;
constexpr double kScrollStep = 100;  // device units per arrow press
constexpr int kPageJump = 10;
constexpr double kLandscapeZoom = 1.4;

// A magnifying glass: the cursor over a page that a click zooms into.
QCursor zoom_cursor() {
    QPixmap glass(32, 32);
    glass.fill(Qt::transparent);
    QPainter p(&glass);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(3, 3, 16, 16));
    p.setPen(QPen(Qt::black, 4));
    p.drawLine(QPointF(17, 17), QPointF(28, 28));
    p.end();
    return QCursor(glass, 11, 11);
}

}  // namespace

TMetaFile::TMetaFile(QWidget* parent, const PageGeometry& page) : QWidget(parent), page_(page) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TMetaFile::SetFile(const std::string& name) {
    load_page(name, hMeta);
    update();
}

void TMetaFile::set_page(const QPicture& page) {
    hMeta = page;
    update();
}

void TMetaFile::paintEvent(QPaintEvent*) {
    nPixelWidth = width();
    nPixelHeight = height();
    // Drawn through an image of the pictures' resolution, so that text keeps its size on any
    // screen.
    QImage image(size(), QImage::Format_RGB32);
    const int dots_per_metre = static_cast<int>(picture_dpi() / 0.0254 + 0.5);
    image.setDotsPerMeterX(dots_per_metre);
    image.setDotsPerMeterY(dots_per_metre);
    image.fill(Qt::white);
    if (nWidth > 0 && nHeight > 0) {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.scale(nPixelWidth / nWidth, nPixelHeight / nHeight);
        p.translate(-nXOrig, -nYOrig);
        p.setClipRect(QRectF(0, 0, page_.horz_res, page_.vert_res));
        p.drawPicture(0, 0, hMeta);
    }
    QPainter(this).drawImage(0, 0, image);
}

void TMetaFile::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && on_click) on_click(event->position());
}

void TMetaFile::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->ignore();  // the preview's own key: it goes on to the preview, which closes
        return;
    }
    if (on_key) on_key(gui::virtual_key_of(*event));
}

void TMetaFile::wheelEvent(QWheelEvent* event) {
    if (on_wheel) on_wheel(event->buttons() & Qt::MiddleButton, event->angleDelta().y());
    event->accept();
}

TPreview::TPreview(TPrinter& device, bool no_print) : oDevice(device), no_print_(no_print) {
    QString title = gui::from_ansi(device.cDocument);
    if (device.hWnd) title = device.hWnd->window()->windowTitle() + " - " + title;
    setWindowTitle(title);
    setWindowModality(Qt::ApplicationModal);
    setAttribute(Qt::WA_DeleteOnClose, false);

    bar_ = new QToolBar(this);
    bar_->setIconSize(QSize(24, 24));
    add_button("TOP", "Prima pagina", "go-first", QStyle::SP_MediaSkipBackward,
               [this] { CheckKey(36); });
    add_button("PREVIOUS", "Pagina precedente", "go-previous", QStyle::SP_ArrowLeft,
               [this] { CheckKey(33); });
    add_button("NEXT", "Pagina successiva", "go-next", QStyle::SP_ArrowRight,
               [this] { CheckKey(34); });
    add_button("BOTTOM", "Ultima pagina", "go-last", QStyle::SP_MediaSkipForward,
               [this] { CheckKey(35); });
    add_button("ZOOM", "Zoom", "zoom-in", QStyle::SP_FileDialogContentsView, [this] { Zoom(); });
    if (!no_print_) {
        add_button("PRINTER", "Stampa documento", "document-print", QStyle::SP_DriveNetIcon,
                   [this] { Print(); });
        if (printers().names().empty()) {
            buttons_["PRINTER"]->setEnabled(false);
            buttons_["PRINTER"]->setToolTip("Nessuna stampante installata");
        }
    }
    add_button("PDF", "Salva come PDF", "document-save-as", QStyle::SP_DialogSaveButton,
               [this] { SavePdf(); });
    add_button("EXIT", "Esci dall'anteprima di stampa", "application-exit",
               QStyle::SP_DialogCloseButton, [this] { close(); });
    page_label_ = new QLabel(bar_);
    QFont bar_font = page_label_->font();
    bar_font.setPixelSize(12);
    page_label_->setFont(bar_font);
    page_label_->setContentsMargins(12, 0, 0, 0);
    bar_->addWidget(page_label_);

    message_bar_ = new QStatusBar(this);
    message_bar_->showMessage("Anteprima di stampa");
    message_bar_->setSizeGripEnabled(false);

    oVScroll = new QScrollBar(Qt::Vertical, this);
    oHScroll = new QScrollBar(Qt::Horizontal, this);
    for (QScrollBar* bar : {oVScroll, oHScroll}) {
        bar->setFocusPolicy(Qt::NoFocus);
        connect(bar, &QScrollBar::actionTriggered, this, [this, bar](int action) {
            ChkScroll(bar->orientation(), action, bar->sliderPosition());
        });
    }
    oMeta = new TMetaFile(this, device.geometry());
    oMeta->on_click = [this](QPointF at) { Zoom(at); };
    oMeta->on_key = [this](int vk) { CheckKey(vk); };
    oMeta->on_wheel = [this](bool middle, int delta) { ChkWheel(middle, delta); };
    resize(800, 600);
    show_page();
}

TPreview::~TPreview() = default;

void TPreview::add_button(const std::string& name, const QString& tooltip, const char* theme_icon,
                          int fallback_icon, std::function<void()> action) {
    auto* b = new QToolButton(bar_);
    b->setObjectName(QString::fromStdString(name));
    b->setIcon(QIcon::fromTheme(
        theme_icon, style()->standardIcon(static_cast<QStyle::StandardPixmap>(fallback_icon))));
    b->setToolTip(tooltip);
    b->setFixedSize(kButtonSize, kButtonSize);
    b->setFocusPolicy(Qt::NoFocus);
    connect(b, &QToolButton::clicked, this, std::move(action));
    bar_->addWidget(b);
    buttons_[name] = b;
}

QToolButton* TPreview::button(const std::string& name) const {
    auto it = buttons_.find(name);
    return it == buttons_.end() ? nullptr : it->second;
}

int TPreview::pages() const {
    return static_cast<int>(oDevice.aMeta.size());
}

QString TPreview::page_text() const {
    return QString("Pagina: %1 di %2").arg(nPage).arg(pages());
}

void TPreview::Resize() {
    const PageGeometry& g = oDevice.geometry();
    const int bar_h = bar_->sizeHint().height();
    const int message_h = message_bar_->sizeHint().height();
    const int scroll_w = oVScroll->sizeHint().width();
    const int scroll_h = oHScroll->sizeHint().height();
    bar_->setGeometry(0, 0, width(), bar_h);
    message_bar_->setGeometry(0, height() - message_h, width(), message_h);
    const double usable_w = std::max(1, width() - scroll_w - 4);
    const double usable_h = std::max(1, height() - bar_h - message_h - (lZoom ? scroll_h : 1));
    if (nMaxWidth == 0) nMaxWidth = usable_w;
    oVScroll->setGeometry(width() - scroll_w, bar_h, scroll_w, static_cast<int>(usable_h));
    oHScroll->setGeometry(0, height() - message_h - scroll_h, width() - scroll_w, scroll_h);
    oHScroll->setVisible(lZoom);
    if (g.horz_res <= 0 || g.vert_res <= 0) return;
    if (!lZoom) {
        const double scale = std::min(usable_w / g.horz_res, usable_h / g.vert_res);
        const double w = g.horz_res * scale, h = g.vert_res * scale;
        oMeta->setGeometry(static_cast<int>(2 + (usable_w - w) / 2),
                           static_cast<int>(bar_h + (usable_h - h) / 2), static_cast<int>(w),
                           static_cast<int>(h));
        oMeta->nXOrig = oMeta->nYOrig = 0;
        oMeta->nWidth = g.horz_res;
        oMeta->nHeight = g.vert_res;
        oVScroll->setRange(1, std::max(1, pages()));
        oVScroll->setPageStep(1);
        oVScroll->setValue(nPage);
    } else {
        const double scale = nMaxWidth / g.horz_res;
        double w = usable_w / scale, h = usable_h / scale;
        if (g.horz_res > g.vert_res) w /= kLandscapeZoom, h /= kLandscapeZoom;
        oMeta->nWidth = std::min(w, g.horz_res);
        oMeta->nHeight = std::min(h, g.vert_res);
        oMeta->nXOrig = std::clamp(oMeta->nXOrig, 0.0, g.horz_res - oMeta->nWidth);
        oMeta->nYOrig = std::clamp(oMeta->nYOrig, 0.0, g.vert_res - oMeta->nHeight);
        oMeta->setGeometry(2, bar_h, static_cast<int>(usable_w), static_cast<int>(usable_h));
        oVScroll->setRange(0, static_cast<int>(g.vert_res - oMeta->nHeight));
        oVScroll->setPageStep(static_cast<int>(oMeta->nHeight));
        oVScroll->setValue(static_cast<int>(oMeta->nYOrig));
        oHScroll->setRange(0, static_cast<int>(g.horz_res - oMeta->nWidth));
        oHScroll->setPageStep(static_cast<int>(oMeta->nWidth));
        oHScroll->setValue(static_cast<int>(oMeta->nXOrig));
    }
    oMeta->nPixelWidth = oMeta->width();
    oMeta->nPixelHeight = oMeta->height();
    oMeta->setCursor(lZoom ? QCursor(Qt::ArrowCursor) : zoom_cursor());
    oMeta->update();
}

void TPreview::resizeEvent(QResizeEvent*) {
    Resize();
}

void TPreview::show_page() {
    if (pages() > 0) {
        QPicture page;
        oDevice.page(nPage, page);
        oMeta->set_page(page);
    }
    page_label_->setText(page_text());
    oMeta->setFocus();
    if (!lZoom) oVScroll->setValue(nPage);
}

void TPreview::go_to(int page, bool clamp) {
    if (clamp) page = std::clamp(page, 1, std::max(1, pages()));
    if (page < 1 || page > pages() || page == nPage) return;
    nPage = page;
    show_page();
}

void TPreview::scroll_by(double dx, double dy) {
    if (!lZoom) return;
    oMeta->nXOrig += dx;
    oMeta->nYOrig += dy;
    Resize();  // keeps the origin inside the page
}

void TPreview::CheckKey(int vk) {
    switch (vk) {
        case 36:  // Home
            if (lZoom)
                scroll_by(0, -oMeta->nYOrig);
            else
                go_to(1, true);
            break;
        case 35:  // End
            if (lZoom)
                scroll_by(0, oDevice.nVertRes());
            else
                go_to(pages(), true);
            break;
        case 33:  // Page Up
            go_to(nPage - 1, false);
            break;
        case 34:  // Page Down
            go_to(nPage + 1, false);
            break;
        case 38:
            scroll_by(0, -kScrollStep);
            break;
        case 40:
            scroll_by(0, kScrollStep);
            break;
        case 37:
            scroll_by(-kScrollStep, 0);
            break;
        case 39:
            scroll_by(kScrollStep, 0);
            break;
        case 0:
            Resize();
            show_page();
            break;
        default:
            break;
    }
}

void TPreview::ChkScroll(Qt::Orientation orientation, int action, int position) {
    using A = QAbstractSlider::SliderAction;
    const bool back = action == A::SliderSingleStepSub || action == A::SliderPageStepSub;
    const bool page_area = action == A::SliderPageStepSub || action == A::SliderPageStepAdd;
    const bool step = action != A::SliderMove && action != A::SliderNoAction &&
                      action != A::SliderToMinimum && action != A::SliderToMaximum;
    if (orientation == Qt::Vertical) {
        if (!lZoom) {
            if (action == A::SliderMove)
                go_to(position, true);
            else if (page_area)
                go_to(nPage + (back ? -kPageJump : kPageJump), true);
            else if (step)
                CheckKey(back ? 33 : 34);
            oVScroll->setSliderPosition(nPage);
            return;
        }
        if (action == A::SliderMove)
            scroll_by(0, position - oMeta->nYOrig);
        else if (step)
            CheckKey(back ? 38 : 40);
        oVScroll->setSliderPosition(static_cast<int>(oMeta->nYOrig));
        return;
    }
    if (!lZoom) return;
    if (action == A::SliderMove)
        scroll_by(position - oMeta->nXOrig, 0);
    else if (step)
        CheckKey(back ? 37 : 39);
    oHScroll->setSliderPosition(static_cast<int>(oMeta->nXOrig));
}

void TPreview::ChkWheel(bool middle_button, int delta) {
    if (delta == 0) return;
    const bool away = delta > 0;  // away from the user: back
    if (lZoom) {
        CheckKey(away ? 38 : 40);
    } else if (middle_button) {
        go_to(nPage + (away ? -kPageJump : kPageJump), true);
    } else {
        CheckKey(away ? 33 : 34);
    }
}

void TPreview::Zoom(std::optional<QPointF> at) {
    if (!lZoom) {
        // The point's place on the page, at the scale before zooming.
        QPointF point(0, 0);
        if (at && oMeta->nPixelWidth > 0 && oMeta->nPixelHeight > 0)
            point = QPointF(at->x() * oMeta->nWidth / oMeta->nPixelWidth + oMeta->nXOrig,
                            at->y() * oMeta->nHeight / oMeta->nPixelHeight + oMeta->nYOrig);
        lZoom = true;
        oMeta->nXOrig = oMeta->nYOrig = 0;
        Resize();
        if (at) {
            oMeta->nXOrig = point.x() - oMeta->nWidth / 2;
            oMeta->nYOrig = point.y() - oMeta->nHeight / 2;
            Resize();
        }
    } else {
        lZoom = false;
        Resize();
    }
    show_page();
}

void TPreview::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        // This Esc is the preview's own: it closes the preview, not the program.
        platform::set_key_down(platform::VK_ESCAPE, false);
        close();
        return;
    }
    CheckKey(gui::virtual_key_of(*event));
}

void TPreview::Print() {
    if (no_print_ || pages() == 0) return;
    PrintRequest request;
    {
        PrintDialog dialog(this, oDevice.cModel, nPage, pages());
        if (dialog.exec() != QDialog::Accepted || platform::termination_requested()) return;
        request = dialog.request();
    }
    // The keyboard is back on the preview: the pop-up that counts the pages shows above it.
    activateWindow();
    util::StatusRequest print_mode;
    print_mode.print = true;
    util::POPMSG(print_mode);
    PrintResult result;
    if (auto target = printers().open(request.printer)) {
        util::StatusRequest next_page;
        next_page.next_page = true;
        result = print_pages(oDevice, print_order(request.first, request.last, request.copies),
                             *target, [&] { util::POPMSG(next_page); });
    }
    util::POPMSG();
    if (result.ok && !result.lost.empty())
        util::popmsg_with_details("Alcune pagine non sono state stampate.", 1,
                                  lost_pages_text(result.lost));
    if (!result.ok && result.error.empty())
        util::POPMSG("Impossibile trovare la stampante " + request.printer + ".", 1);
    else if (!result.ok)
        util::POPMSG("La stampa su " + request.printer + " non è riuscita.", 1);
}

bool TPreview::SavePdf(std::optional<std::string> file) {
    if (!file) {
        const QString initial =
            QDir::current().filePath(gui::from_ansi(oDevice.cDocument) + ".pdf");
        const QString chosen =
            QFileDialog::getSaveFileName(this, "Salva come PDF", initial, "PDF (*.pdf)");
        if (chosen.isEmpty()) return false;
        file = chosen.toStdString();
    }
    const PrintResult result = write_pdf(oDevice, *file);
    if (!result.ok)
        util::popmsg_with_details("Impossibile scrivere il file " + *file + ".", 1, result.error);
    else if (!result.lost.empty())
        util::popmsg_with_details("Alcune pagine non sono state salvate.", 1,
                                  lost_pages_text(result.lost));
    return result.ok;
}

void TPreview::HideAll() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == this || !w->isVisible() || w->windowType() == Qt::Desktop) continue;
        hidden_.emplace_back(w);
        // A dialog running its own loop would end it when hidden: it is minimised instead.
        if (qobject_cast<QDialog*>(w))
            w->showMinimized();
        else
            w->hide();
    }
}

void TPreview::ShowAll() {
    for (const auto& w : hidden_) {
        if (!w) continue;
        if (qobject_cast<QDialog*>(w.data()))
            w->showNormal();
        else
            w->show();
    }
    hidden_.clear();
}

void TPreview::closeEvent(QCloseEvent* event) {
    ShowAll();
    event->accept();
    if (on_closed_) on_closed_();
}

void TPreview::New(TPrinter& device, bool no_print) {
    QPointer<QWidget> active = QApplication::activeWindow();
    if (!platform::termination_requested()) {  // the program is ending: nothing to show
        TPreview preview(device, no_print);
        QEventLoop loop;
        preview.on_closed_ = [&loop] { loop.quit(); };
        preview.HideAll();
        preview.showMaximized();
        preview.Resize();
        preview.show_page();
        loop.exec();
    }
    device.End();
    if (active) active->activateWindow();
}

}  // namespace kv::printing
