// The main window on screen: a fixed 500 x 500 dialog without close or maximise button, centred,
// whose client area is filled by the read-only log pane.
#include <deque>

#include <QCloseEvent>
#include <QDialog>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "gui/main_window_state.h"
#include "gui/run_mode.h"
#include "gui/text.h"

namespace kv::gui {
namespace {

class LogEdit : public LogPane {
  public:
    explicit LogEdit(QWidget* parent) : edit_(new QPlainTextEdit(parent)) {
        edit_->setReadOnly(true);
        edit_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        edit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit_->setFrameShape(QFrame::StyledPanel);
        edit_->setObjectName("log");
        paint_.setSingleShot(true);
        paint_.setTimerType(Qt::PreciseTimer);
        paint_.setInterval(kPaintDelay);
        QObject::connect(&paint_, &QTimer::timeout, edit_, [this] {
            edit_->setUpdatesEnabled(true);
            edit_->viewport()->repaint();
        });
        on_line_limit();
    }
    void append_line(const std::string& line) override {
        lines_.push_back(line + "\r\n");
        while (lines_.size() > line_limit()) lines_.pop_front();
        text_valid_ = false;
        // The pane's own update requests would paint it at the next pass of the event loop,
        // once for every line: they wait for the painting below.
        if (!paint_.isActive()) {
            edit_->setUpdatesEnabled(false);
            paint_.start();
        }
        edit_->appendPlainText(from_ansi(line));
        edit_->moveCursor(QTextCursor::End);
        edit_->verticalScrollBar()->setValue(edit_->verticalScrollBar()->maximum());
        // Painted by a timer of its own: an update request alone may wait for an unrelated event
        // (a mouse move) while the program waits for the device, and the timer's expiry is an
        // event that ends that wait. Lines that come faster than that (a document being printed)
        // share one painting instead of making the device wait for one each.
    }
    const std::string& text() const override {
        if (!text_valid_) {
            text_.clear();
            for (const auto& line : lines_) text_ += line;
            text_valid_ = true;
        }
        return text_;
    }
    QPlainTextEdit* widget() const { return edit_; }

  protected:
    void on_line_limit() override {
        edit_->setMaximumBlockCount(static_cast<int>(line_limit()));
        while (lines_.size() > line_limit()) lines_.pop_front();
        text_valid_ = false;
    }

  private:
    // At most this long between a line's arrival and its painting.
    static constexpr int kPaintDelay = 20;  // milliseconds

    QPlainTextEdit* edit_;
    std::deque<std::string> lines_;
    mutable std::string text_;
    mutable bool text_valid_ = true;
    QTimer paint_;
};

class Dialog;

class WidgetMainWindow : public MainWindowBase {
  public:
    WidgetMainWindow(const std::string& title, int width, int height);
    ~WidgetMainWindow() override;
    LogPane& log_pane() override { return *log_; }
    void activate(Handler init) override;
    bool was_shown() const override { return shown_; }

    void first_paint();

  protected:
    void close_now() override;
    void close_refused() override;

  private:
    std::unique_ptr<Dialog> dialog_;
    std::unique_ptr<LogEdit> log_;
    bool shown_ = false;
    bool painted_ = false;
};

constexpr int kHintMilliseconds = 4000;

class Dialog : public QDialog {
  public:
    explicit Dialog(WidgetMainWindow& owner) : owner_(owner), hint_(new QLabel(this)) {
        hint_->setObjectName("close_hint");
        hint_->setText(QStringLiteral("Press Esc to end KV32."));
        hint_->setAlignment(Qt::AlignCenter);
        hint_->setAutoFillBackground(true);
        hint_->setFrameShape(QFrame::Box);
        hint_->hide();
        hint_timer_.setSingleShot(true);
        hint_timer_.setInterval(kHintMilliseconds);
        QObject::connect(&hint_timer_, &QTimer::timeout, hint_, &QWidget::hide);
    }
    // The first paint of the dialog or of the pane that covers it starts the command loop.
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Paint) owner_.first_paint();
        return QDialog::eventFilter(watched, e);
    }
    void allow_close() { closing_ = true; }
    void show_close_hint() {
        const int height = hint_->sizeHint().height() + 8;
        hint_->setGeometry(0, this->height() - height, width(), height);
        hint_->show();
        hint_->raise();
        hint_timer_.start();
    }

  protected:
    // Esc: the dialog's cancel is the window's own close request.
    void reject() override { owner_.request_close(); }
    // Closes from the window manager (its close button, Alt+F4) are refused, with a hint that
    // shows for a few seconds over the bottom of the log and takes nothing from the user.
    void closeEvent(QCloseEvent* event) override {
        if (closing_) {
            event->accept();
            return;
        }
        event->ignore();
        show_close_hint();
    }

  private:
    WidgetMainWindow& owner_;
    QLabel* hint_;
    QTimer hint_timer_;
    bool closing_ = false;
};

WidgetMainWindow::WidgetMainWindow(const std::string& title, int width, int height)
    : dialog_(std::make_unique<Dialog>(*this)) {
    dialog_->setWindowTitle(from_ansi(title));
    // A title bar only: the size is fixed, so no maximise button either.
    dialog_->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::MSWindowsFixedSizeDialogHint);
    dialog_->setWindowIcon(QIcon(kProgramIcon));
    dialog_->setFixedSize(width, height);
    dialog_->setModal(true);
    log_ = std::make_unique<LogEdit>(dialog_.get());
    dialog_->installEventFilter(dialog_.get());
    log_->widget()->viewport()->installEventFilter(dialog_.get());
}

WidgetMainWindow::~WidgetMainWindow() = default;

void WidgetMainWindow::activate(Handler init) {
    auto* layout = new QVBoxLayout(dialog_.get());  // the log pane becomes the client control
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(log_->widget());
    if (init) init();
    if (closed()) return;
    if (auto* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        dialog_->move(area.center() - QPoint(dialog_->width() / 2, dialog_->height() / 2));
    }
    shown_ = true;
    log_->widget()->setFocus();
    dialog_->exec();
}

void WidgetMainWindow::first_paint() {
    if (painted_) return;
    painted_ = true;
    // The command loop pumps events itself; it starts from the event loop, not inside the paint.
    QTimer::singleShot(0, dialog_.get(), [this] { run_start_handler(); });
}

void WidgetMainWindow::close_refused() {
    dialog_->show_close_hint();
}

void WidgetMainWindow::close_now() {
    dialog_->allow_close();
    dialog_->done(0);
}

}  // namespace

std::unique_ptr<MainWindow> create_widget_main_window(const std::string& title, int width,
                                                      int height) {
    return std::make_unique<WidgetMainWindow>(title, width, height);
}

}  // namespace kv::gui
