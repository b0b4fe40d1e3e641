#include "gui/settings_dialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "gui/folder_check.h"
#include "gui/key_tracker.h"
#include "gui/run_mode.h"
#include "gui/text.h"

namespace kv::gui {
namespace {

QPointer<QWidget> open_dialog;

class SettingsDialog : public QDialog {
  public:
    SettingsDialog(QWidget* parent, const Settings& current, PortLister ports)
        : QDialog(parent), current_(current), lister_(std::move(ports)) {
        setObjectName(kSettingsDialogName);
        setProperty(kKeysStayInWindow, true);
        setWindowTitle(QStringLiteral("Impostazioni"));
        setWindowIcon(QIcon(kProgramIcon));
        build();
        port_->setText(from_ansi(current.port));
        root_->setText(from_ansi(current.root));
        details_->setChecked(current.details);
        fill_ports();
        update_ok();
        port_->setFocus();  // a list that takes the focus makes its first port the current one
        resize(620, 420);
    }

    Settings chosen() const {
        return {to_ansi(port_->text().trimmed()), to_ansi(root_->text().trimmed()),
                details_->isChecked()};
    }

    void accept() override {
        if (!check_root()) return;
        QDialog::accept();
    }

  private:
    void build() {
        auto* layout = new QVBoxLayout(this);

        auto* port_label =
            new QLabel(QStringLiteral("&Porta seriale (scelta dall'elenco o scritta: "
                                      "COM1, ttyUSB0, /dev/ttyACM0, PTY):"),
                       this);
        layout->addWidget(port_label);
        list_ = new QTreeWidget(this);
        list_->setObjectName(kPortListName);
        list_->setHeaderLabels(
            {QStringLiteral("Porta"), QStringLiteral("Dispositivo"), QStringLiteral("Stato")});
        list_->setRootIsDecorated(false);
        list_->setAllColumnsShowFocus(true);
        // Every column stays in sight at any width: the port and its state take what their texts
        // need and the description the rest, cut short with "..." (its tooltip has it whole).
        list_->setTextElideMode(Qt::ElideRight);
        list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        QHeaderView* header = list_->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(0, QHeaderView::ResizeToContents);
        header->setSectionResizeMode(1, QHeaderView::Stretch);
        header->setSectionResizeMode(2, QHeaderView::ResizeToContents);
        layout->addWidget(list_, 1);
        port_label->setBuddy(list_);

        auto* port_row = new QHBoxLayout;
        port_ = new QLineEdit(this);
        port_->setObjectName(kPortEditName);
        auto* refresh = new QPushButton(QStringLiteral("A&ggiorna elenco"), this);
        refresh->setObjectName(kRefreshName);
        refresh->setAutoDefault(false);
        port_row->addWidget(port_, 1);
        port_row->addWidget(refresh);
        layout->addLayout(port_row);

        auto* root_label = new QLabel(QStringLiteral("&Cartella servita (per il dispositivo è la "
                                                     "radice del disco):"),
                                      this);
        layout->addWidget(root_label);
        auto* root_row = new QHBoxLayout;
        root_ = new QLineEdit(this);
        root_->setObjectName(kRootEditName);
        root_label->setBuddy(root_);
        auto* choose = new QPushButton(QStringLiteral("&Sfoglia..."), this);
        choose->setObjectName(kRootChooseName);
        choose->setAutoDefault(false);
        root_row->addWidget(root_, 1);
        root_row->addWidget(choose);
        layout->addLayout(root_row);

        problem_ = new QLabel(this);
        problem_->setObjectName("problem");
        problem_->setStyleSheet(QStringLiteral("color: #b00000"));
        problem_->setWordWrap(true);
        problem_->hide();
        layout->addWidget(problem_);

        details_ = new QCheckBox(
            QStringLiteral("&Dettagli: nel registro, una riga sull'esito di ogni comando"), this);
        details_->setObjectName(kDetailsName);
        layout->addWidget(details_);

        buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons_->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Annulla"));
        layout->addWidget(buttons_);

        connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
        connect(port_, &QLineEdit::textChanged, this, [this] { update_ok(); });
        connect(root_, &QLineEdit::textChanged, this, [this] { problem_->hide(); });
        connect(list_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
            if (item) port_->setText(item->text(0));
        });
        connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { accept(); });
        connect(refresh, &QPushButton::clicked, this, [this] { fill_ports(); });
        connect(choose, &QPushButton::clicked, this, [this] { choose_root(); });
    }

    void fill_ports() {
        list_->clear();
        const QString typed = port_->text();
        for (const auto& p : lister_ ? lister_() : std::vector<PortChoice>{}) {
            QString state = p.can_open ? QStringLiteral("si apre") : from_ansi(p.verdict);
            if (p.can_open && !p.verdict.empty()) state = from_ansi(p.verdict);
            auto* item =
                new QTreeWidgetItem(list_, {from_ansi(p.name), from_ansi(p.description), state});
            const QString tip = from_ansi(p.path + ": " + p.description) + "\n" + state;
            for (int column = 0; column < 3; ++column) item->setToolTip(column, tip);
            if (!p.can_open) item->setForeground(2, QColor(0xb0, 0, 0));
        }
        if (list_->topLevelItemCount() == 0) {
            auto* none = new QTreeWidgetItem(
                list_,
                {QString(), QStringLiteral("Nessuna porta seriale su questo computer"), QString()});
            none->setFlags(Qt::NoItemFlags);
        }
        // Selecting shows the item without changing what was typed.
        const QSignalBlocker quiet(list_);
        for (int i = 0; i < list_->topLevelItemCount(); ++i)
            if (list_->topLevelItem(i)->text(0) == typed)
                list_->setCurrentItem(list_->topLevelItem(i));
    }

    void update_ok() {
        buttons_->button(QDialogButtonBox::Ok)->setEnabled(!port_->text().trimmed().isEmpty());
    }

    // The folder chooser runs without a nested event loop, so the command loop beneath keeps
    // serving while it is open.
    void choose_root() {
        auto* chooser = new QFileDialog(this, QStringLiteral("Cartella servita"));
        chooser->setObjectName("root_chooser");
        chooser->setProperty(kKeysStayInWindow, true);
        chooser->setAttribute(Qt::WA_DeleteOnClose);
        chooser->setFileMode(QFileDialog::Directory);
        chooser->setOption(QFileDialog::ShowDirsOnly);
        const QString root = root_->text().trimmed();
        chooser->setDirectory(QFileInfo(root).isDir() ? root : QDir::homePath());
        connect(chooser, &QFileDialog::fileSelected, this,
                [this](const QString& folder) { root_->setText(folder); });
        chooser->open();
    }

    // The folder must be one KV32 can serve: there (or made now, where it can be made), open to
    // this user and writable. Nothing is confirmed, and so nothing written, before that.
    bool check_root() {
        const QString root = root_->text().trimmed();
        if (root.isEmpty()) return true;
        const std::string folder = to_ansi(root);
        std::string why = why_folder_unusable(folder, FolderUse::MakeOrWrite);
        if (why.empty() && !QFileInfo::exists(root)) why = make_folder(folder);
        if (why.empty()) return true;
        problem_->setText(
            QCoreApplication::translate("Settings", "The folder \"%1\" cannot be used: %2.")
                .arg(root, from_ansi(why)));
        problem_->show();
        root_->setFocus();
        return false;
    }

    Settings current_;
    PortLister lister_;
    QTreeWidget* list_ = nullptr;
    QLineEdit* port_ = nullptr;
    QLineEdit* root_ = nullptr;
    QLabel* problem_ = nullptr;
    QCheckBox* details_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
};

}  // namespace

QWidget* open_settings_dialog(QWidget* parent, const Settings& current, PortLister ports,
                              std::function<void(const Settings&)> done) {
    if (open_dialog && open_dialog->isVisible()) {  // one at a time
        open_dialog->raise();
        open_dialog->activateWindow();
        return open_dialog;
    }
    auto* dialog = new SettingsDialog(parent, current, std::move(ports));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QDialog::accepted, dialog,
                     [dialog, done = std::move(done)] { done(dialog->chosen()); });
    QObject::connect(dialog, &QDialog::finished, dialog, [] { open_dialog = nullptr; });
    open_dialog = dialog;
    dialog->open();
    return dialog;
}

std::optional<Settings> run_settings_dialog(const Settings& current, PortLister ports) {
    SettingsDialog dialog(nullptr, current, std::move(ports));
    open_dialog = &dialog;
    const int result = dialog.exec();
    open_dialog = nullptr;
    if (result != QDialog::Accepted) return std::nullopt;
    return dialog.chosen();
}

QWidget* open_settings_dialog_widget() {
    return open_dialog;
}

void cancel_settings_dialog() {
    if (auto* dialog = qobject_cast<QDialog*>(open_dialog.data())) dialog->reject();
}

}  // namespace kv::gui
