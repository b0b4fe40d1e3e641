// The main window on screen: a fixed 500 x 500 dialog without close or maximise button, centred,
// whose body is the read-only log pane, with a menu bar above it (the log's commands and the
// settings) and a status line below (the served folder, a transfer's progress).
#include <deque>

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "gui/key_tracker.h"
#include "gui/main_window_state.h"
#include "gui/run_mode.h"
#include "gui/text.h"
#include "platform/keystate.h"

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
        // A log file that cannot be written is said here, in the window, once.
        if (const std::string said = write_log_file(line); !said.empty()) show_line(said);
        show_line(line);
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

  private:
    void show_line(const std::string& line) {
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
    void set_title(const std::string& title) override;
    void set_status(const std::string& text) override;
    void show_progress(const std::string& text, std::size_t done, std::size_t total) override;
    void set_settings_handler(Handler handler) override;
    void set_files_handler(Handler handler) override;
    QWidget* widget() override;

    void first_paint();
    bool closed_now() const { return closed(); }
    void note_esc_latched() { esc_latched_ = true; }

  protected:
    void close_now() override;
    void close_refused() override;

  private:
    void build_menu();
    void save_log();

    std::unique_ptr<Dialog> dialog_;
    std::unique_ptr<LogEdit> log_;
    QMenuBar* menu_ = nullptr;
    QAction* settings_ = nullptr;
    QAction* files_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    Handler settings_handler_;
    Handler files_handler_;
    bool shown_ = false;
    bool painted_ = false;
    bool esc_latched_ = false;
};

constexpr int kHintMilliseconds = 4000;

class Dialog : public QDialog {
  public:
    explicit Dialog(WidgetMainWindow& owner) : owner_(owner), hint_(new QLabel(this)) {
        hint_->setObjectName("close_hint");
        hint_->setText(QCoreApplication::translate("MainWindow", "Press Esc to end KV32."));
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
    // Esc: the dialog's cancel is the window's own close request. Once it is allowed, Esc counts
    // as held until the window has closed: a key tapped quickly is let go before the command
    // loop looks, which would leave the close waiting for a loop that goes on serving.
    void reject() override {
        owner_.request_close();
        if (owner_.closing() && !owner_.closed_now()) {
            platform::latch_key_down(platform::VK_ESCAPE);
            owner_.note_esc_latched();
        }
    }
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
    build_menu();
    status_ = new QLabel(dialog_.get());
    status_->setObjectName("status");
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_->setContentsMargins(4, 2, 4, 2);
    progress_ = new QProgressBar(dialog_.get());
    progress_->setObjectName("progress");
    progress_->setTextVisible(true);
    progress_->hide();
}

void WidgetMainWindow::build_menu() {
    menu_ = new QMenuBar(dialog_.get());
    menu_->setObjectName("menu");
    QMenu* log = menu_->addMenu(QStringLiteral("&Registro"));
    QAction* copy = log->addAction(QStringLiteral("&Copia tutto"), [this] {
        QApplication::clipboard()->setText(log_->widget()->toPlainText());
    });
    copy->setObjectName("copy_log");
    QAction* save = log->addAction(QStringLiteral("&Salva con nome..."), [this] { save_log(); });
    save->setObjectName("save_log");
    settings_ = menu_->addAction(QStringLiteral("&Impostazioni..."), [this] {
        if (settings_handler_) settings_handler_();
    });
    settings_->setObjectName("settings");
    settings_->setVisible(false);
    files_ = menu_->addAction(QStringLiteral("&File del dispositivo..."), [this] {
        if (files_handler_) files_handler_();
    });
    files_->setObjectName("device_files");
    files_->setVisible(false);
}

// The file chooser runs without a nested event loop, so the command loop beneath keeps serving
// while it is open; a file that cannot be written is told in the log.
void WidgetMainWindow::save_log() {
    auto* chooser = new QFileDialog(dialog_.get(), QStringLiteral("Salva il registro"));
    chooser->setObjectName("save_log_chooser");
    chooser->setProperty(kKeysStayInWindow, true);
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    chooser->setAcceptMode(QFileDialog::AcceptSave);
    chooser->setNameFilter(QStringLiteral("Testo (*.txt *.log);;Tutti i file (*)"));
    chooser->selectFile(QStringLiteral("kv32.log"));
    QObject::connect(chooser, &QFileDialog::fileSelected, dialog_.get(),
                     [this](const QString& path) {
                         QFile file(path);
                         QString text = log_->widget()->toPlainText();
                         if (!text.isEmpty()) text += '\n';
                         if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                             file.write(text.toUtf8()) < 0 || !file.flush())
                             log_->append_line(to_ansi("The log could not be saved in " + path +
                                                       ": " + file.errorString() + "."));
                     });
    chooser->open();
}

void WidgetMainWindow::set_title(const std::string& title) {
    dialog_->setWindowTitle(from_ansi(title));
}

void WidgetMainWindow::set_status(const std::string& text) {
    status_->setText(from_ansi(text));
    status_->setToolTip(from_ansi(text));
}

void WidgetMainWindow::show_progress(const std::string& text, std::size_t done, std::size_t total) {
    if (total == 0) {
        progress_->hide();
        status_->show();
        return;
    }
    const int scale = static_cast<int>(std::min<std::size_t>(total, 1u << 30));
    progress_->setRange(0, scale);
    progress_->setValue(static_cast<int>(std::min(done, total) * scale / total));
    progress_->setFormat(from_ansi(text));
    status_->hide();
    progress_->show();
    // Painted now, as the log is: the program may be busy with the device until the next event.
    progress_->repaint();
}

void WidgetMainWindow::set_settings_handler(Handler handler) {
    settings_handler_ = std::move(handler);
    settings_->setVisible(static_cast<bool>(settings_handler_));
}

void WidgetMainWindow::set_files_handler(Handler handler) {
    files_handler_ = std::move(handler);
    files_->setVisible(static_cast<bool>(files_handler_));
}

QWidget* WidgetMainWindow::widget() {
    return dialog_.get();
}

WidgetMainWindow::~WidgetMainWindow() = default;

void WidgetMainWindow::activate(Handler init) {
    auto* layout = new QVBoxLayout(dialog_.get());  // the log pane becomes the client control
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(menu_);
    layout->addWidget(log_->widget(), 1);
    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->addWidget(status_, 1);
    bottom->addWidget(progress_, 1);
    layout->addLayout(bottom);
    if (init) init();
    if (closed()) return;
    if (auto* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        dialog_->move(area.center() - QPoint(dialog_->width() / 2, dialog_->height() / 2));
    }
    shown_ = true;
    log_->widget()->setFocus();
    dialog_->exec();
    if (esc_latched_) platform::release_all_keys();  // the Esc that closed the window is over
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
