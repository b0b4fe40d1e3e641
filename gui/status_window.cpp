#include "gui/status_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <cstdio>

#include "gui/run_mode.h"
#include "gui/text.h"
#include "platform/codepages.h"
#include "platform/keystate.h"

namespace kv::gui {
namespace {

bool have_screen() {
    return !is_headless() && qobject_cast<QApplication*>(QCoreApplication::instance());
}

// Text with CR LF line ends as a label shows it.
QString label_text(const std::string& text) {
    return from_ansi(text).replace("\r\n", "\n");
}

// A dialog without close box that refuses to close while Esc or F4 is held down, until the
// program lifts the restriction.
class PopupDialog : public QDialog {
  public:
    explicit PopupDialog(QWidget* owner = nullptr) : QDialog(owner) {
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    }
    void lift_restriction() { restricted_ = false; }

  protected:
    void reject() override {
        if (may_close()) QDialog::reject();
    }
    void closeEvent(QCloseEvent* event) override {
        if (may_close())
            QDialog::closeEvent(event);
        else
            event->ignore();
    }

  private:
    bool may_close() const {
        return !restricted_ || !(platform::key_is_down(platform::VK_ESCAPE) ||
                                 platform::key_is_down(platform::VK_F4));
    }
    bool restricted_ = true;
};

// The font the waiting window draws its text in.
QFont waiting_text_font() {
    QFont font("Arial");
    font.setPixelSize(15);
    return font;
}

void centre(QDialog& dialog) {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        dialog.move(area.center() - QPoint(dialog.width() / 2, dialog.height() / 2));
    }
}

class PopupWindow : public StatusWindow {
  public:
    explicit PopupWindow(QWidget* owner = nullptr) : dialog_(new PopupDialog(owner)) {}
    ~PopupWindow() override {
        close();
        delete dialog_.data();
    }

    void set_text(const std::string& text) override {
        if (dialog_ && second_) second_->setText(label_text(text));
    }
    void set_position(int position) override {
        if (dialog_ && progress_)
            progress_->setValue(std::clamp(position, progress_->minimum(), progress_->maximum()));
    }
    void redraw_text() override {
        if (dialog_ && second_) second_->repaint();
    }
    void close() override {
        if (!dialog_) return;
        dialog_->lift_restriction();
        dialog_->close();
    }
    bool active() const override { return dialog_ && dialog_->isActiveWindow(); }
    QDialog* dialog() const override { return dialog_.data(); }

  protected:
    // Owned here, or by the owner window when that goes first.
    QPointer<PopupDialog> dialog_;
    QLabel* second_ = nullptr;
    QProgressBar* progress_ = nullptr;
};

class WaitingWindow : public PopupWindow {
  public:
    WaitingWindow(const std::string& title, const std::string& text, int lines, int width,
                  std::optional<ProgressRange> range) {
        QDialog& d = *dialog_;
        d.setWindowTitle(from_ansi(title));
        d.setCursor(Qt::WaitCursor);
        auto* icon = new QLabel(&d);
        icon->setObjectName("icon");
        icon->setPixmap(d.style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
        icon->setGeometry(15, 20, 32, 32);
        const QFont font = waiting_text_font();
        second_ = new QLabel(label_text(text), &d);
        second_->setObjectName("text");
        second_->setFont(font);
        second_->setWordWrap(true);
        second_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        if (range) {
            ++lines;
            width += 5;
            progress_ = new QProgressBar(&d);
            progress_->setObjectName("progress");
            progress_->setRange(range->low, range->high);
            progress_->setValue(range->low);
        }
        const int w = width + 110;
        const int h = (lines + 5) * QFontMetrics(font).height();
        d.setFixedSize(std::max(w, 1), std::max(h, 1));
        second_->setGeometry(65, 20, std::max(w - 90, 0), std::max(h - 80, 0));
        if (progress_) progress_->setGeometry(15, h - 60, std::max(w - 35, 0), 20);
        centre(d);
        d.show();
    }
};

QPixmap printer_picture() {
    QIcon theme = QIcon::fromTheme("printer", QIcon::fromTheme("document-print"));
    if (!theme.isNull()) return theme.pixmap(32, 32);
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    p.drawRect(9, 2, 14, 10);  // the sheet going in
    p.setBrush(Qt::lightGray);
    p.drawRect(2, 11, 28, 13);  // the body
    p.setBrush(Qt::white);
    p.drawRect(8, 20, 16, 10);  // the sheet coming out
    p.setBrush(Qt::green);
    p.drawEllipse(24, 14, 3, 3);
    return picture;
}

// The layout of the print window: a framed group with the printer, the fixed text and the page
// number, and below it the hidden cancel button, whose room is taken off as the window opens. The
// fixed text is at least 150 pixels wide and wider when its font needs it; the page number, the
// frame and the window grow with it.
class PrintWindow : public PopupWindow {
  public:
    explicit PrintWindow(QWidget* owner) : PopupWindow(owner) {
        QDialog& d = *dialog_;
        d.setWindowTitle("Attendere");
        auto* frame = new QGroupBox(&d);
        auto* picture = new QLabel(frame);
        picture->setObjectName("picture");
        picture->setPixmap(printer_picture());
        picture->setGeometry(12, 16, 32, 32);
        auto* fixed = new QLabel("Sto stampando la pagina n.:", frame);
        fixed->setObjectName("fixed");
        const int fixed_width = std::max(150, fixed->sizeHint().width());
        fixed->setGeometry(54, 22, fixed_width, 20);
        const int page_left = 54 + fixed_width + 2;
        second_ = new QLabel(frame);
        second_->setObjectName("page");
        second_->setGeometry(page_left, 22, 36, 20);
        second_->setFrameShape(QFrame::StyledPanel);
        second_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        const int frame_width = page_left + 36 + 8;
        frame->setGeometry(10, 6, frame_width, 62);
        const int width = frame_width + 20;
        auto* cancel = new QPushButton("&Annulla", &d);
        cancel->setObjectName("cancel");
        cancel->setGeometry((width - 80) / 2, 78, 80, 26);
        cancel->hide();
        constexpr int kResourceHeight = 112;
        d.setFixedSize(width, kResourceHeight - 33);
        centre(d);
        d.show();
    }
};

}  // namespace

StatusWindow::~StatusWindow() = default;

std::unique_ptr<StatusWindow> StatusWindow::waiting(const std::string& title,
                                                    const std::string& text, int lines, int width,
                                                    std::optional<ProgressRange> range) {
    if (!have_screen()) {
        std::fprintf(stderr, "%s: %s\n", platform::ansi_to_utf8(title).c_str(),
                     platform::ansi_to_utf8(text).c_str());
        std::fflush(stderr);
        return nullptr;
    }
    return std::make_unique<WaitingWindow>(title, text, lines, width, range);
}

std::unique_ptr<StatusWindow> StatusWindow::printing(QWidget* owner) {
    if (!have_screen()) return nullptr;
    if (!owner || !owner->isVisible()) owner = QApplication::activeModalWidget();
    return std::make_unique<PrintWindow>(owner ? owner->window() : nullptr);
}

int waiting_text_width(const std::string& line) {
    if (!have_screen()) return 0;
    return QFontMetrics(waiting_text_font()).horizontalAdvance(from_ansi(line));
}

}  // namespace kv::gui
