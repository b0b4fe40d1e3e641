#include "core/file_view.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "core/catalogue_lines.h"
#include "core/catalogue_listing.h"
#include "core/desk_files.h"
#include "core/file_view_dialogs.h"
#include "core/protocol.h"
#include "core/served_folder.h"
#include "gui/key_tracker.h"
#include "gui/text.h"
#include "platform/files.h"

namespace kv::core {
namespace {

constexpr int kNameRole = Qt::UserRole;        // the entry's name on disk (Windows-1252)
constexpr int kFolderRole = Qt::UserRole + 1;  // true for folders

class FileView;

// The list: folders and stored files of the folder shown; PC files dropped on it are imported,
// stored files dragged out of it leave as PC files holding their data.
class FileList : public QTreeWidget {
  public:
    explicit FileList(FileView& view, QWidget* parent);

  protected:
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;
    QStringList mimeTypes() const override { return {QStringLiteral("text/uri-list")}; }
    Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }
    void dragEnterEvent(QDragEnterEvent* event) override { take_drag(event); }
    void dragMoveEvent(QDragMoveEvent* event) override { take_drag(event); }
    void dropEvent(QDropEvent* event) override;

  private:
    static QStringList local_files(const QMimeData* mime);
    void take_drag(QDragMoveEvent* event);

    FileView& view_;
};

class FileView : public QWidget {
  public:
    explicit FileView(QWidget* parent);
    ~FileView() override;

    void refresh();
    void device_activity();
    void import_files(const QStringList& pc_files);
    // The data of the stored file `name` of the folder shown, written for a drag as a PC file
    // of its name in a folder of the window's own; empty when it cannot be read.
    QString drag_file(const std::string& name);
    const QTemporaryDir& drag_folder() const { return drag_folder_; }

  private:
    QPushButton* add_button(QHBoxLayout* row, const char* name, const QString& text,
                            void (FileView::*action)());
    void enter(const std::string& folder);
    void go_up();
    void choose_import();
    void next_import();
    void choose_export();
    void rename_selected();
    void erase_selected();
    void new_folder();
    void selection_changed();
    QTreeWidgetItem* selected() const;
    std::string selected_name() const;
    bool selected_is_folder() const;
    void tell(const QString& text);
    void refuse(const QString& what, const DeskResult& result);
    void refuse(const QString& what, const QString& reason);

    std::string folder_ = "/";  // the folder shown, as the device names it, ending in "/"
    std::string root_;          // the served root when it was last listed
    std::string device_folder_;
    QLabel* folder_line_;
    FileList* list_;
    QLabel* message_;
    QPushButton* up_;
    QPushButton* export_;
    QPushButton* rename_;
    QPushButton* erase_;
    QFileSystemWatcher watcher_;
    QTemporaryDir drag_folder_;
    QStringList pending_;
    QPointer<QWidget> import_dialog_;
};

FileView* open_view = nullptr;

QString shown(const std::string& name) {
    return gui::from_ansi(name);
}

QString italian_number(std::uint64_t n) {
    return QLocale(QLocale::Italian).toString(static_cast<qulonglong>(n));
}

// The device's path of an entry path inside the served tree.
std::string device_of(const std::string& path) {
    return device_path(path);
}

bool holds(const std::string& folder, const std::string& inner) {
    return inner == folder ||
           (inner.size() > folder.size() && inner.compare(0, folder.size(), folder) == 0 &&
            (folder == "/" || inner[folder.size()] == '/'));
}

// ---- The list -------------------------------------------------------------------------------

FileList::FileList(FileView& view, QWidget* parent) : QTreeWidget(parent), view_(view) {
    setObjectName(kFileListName);
    setColumnCount(3);
    setHeaderLabels({QCoreApplication::translate("FileView", "Nome"),
                     QCoreApplication::translate("FileView", "Catalogo"),
                     QCoreApplication::translate("FileView", "Byte")});
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
    setDragEnabled(true);
    setAcceptDrops(true);
    header()->setSectionResizeMode(0, QHeaderView::Stretch);
    header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
}

QMimeData* FileList::mimeData(const QList<QTreeWidgetItem*>& items) const {
    QList<QUrl> urls;
    for (const QTreeWidgetItem* item : items) {
        if (item->data(0, kFolderRole).toBool()) continue;
        const QString file = view_.drag_file(item->data(0, kNameRole).toByteArray().toStdString());
        if (!file.isEmpty()) urls.push_back(QUrl::fromLocalFile(file));
    }
    if (urls.isEmpty()) return nullptr;
    auto* mime = new QMimeData;
    mime->setUrls(urls);
    return mime;
}

QStringList FileList::local_files(const QMimeData* mime) {
    QStringList files;
    if (!mime || !mime->hasUrls()) return files;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile()) files.push_back(url.toLocalFile());
    return files;
}

// PC files are taken; the list's own stored files dragged over it are not.
void FileList::take_drag(QDragMoveEvent* event) {
    const QStringList files = local_files(event->mimeData());
    const bool own =
        event->source() == this || (!files.isEmpty() && view_.drag_folder().isValid() &&
                                    files.front().startsWith(view_.drag_folder().path() + '/'));
    if (own || files.isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void FileList::dropEvent(QDropEvent* event) {
    const QStringList files = local_files(event->mimeData());
    if (files.isEmpty() || event->source() == this) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    view_.import_files(files);
}

// ---- The window -----------------------------------------------------------------------------

FileView::FileView(QWidget* parent)
    : QWidget(parent, Qt::Window),
      folder_line_(new QLabel(this)),
      list_(new FileList(*this, this)),
      message_(new QLabel(this)) {
    setObjectName(kFileViewName);
    setWindowTitle(QCoreApplication::translate("FileView", "File del dispositivo"));
    setAttribute(Qt::WA_DeleteOnClose);
    // Esc and the other keys pressed here never reach the command loop.
    setProperty(gui::kKeysStayInWindow, true);
    folder_line_->setObjectName(kFolderLineName);
    folder_line_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    message_->setObjectName(kViewMessageName);
    message_->setWordWrap(true);

    auto* top = new QHBoxLayout;
    up_ = add_button(top, kUpButtonName, QCoreApplication::translate("FileView", "Su"),
                     &FileView::go_up);
    top->addWidget(folder_line_, 1);
    auto* actions = new QHBoxLayout;
    add_button(actions, kImportButtonName, QCoreApplication::translate("FileView", "Importa..."),
               &FileView::choose_import);
    export_ =
        add_button(actions, kExportButtonName,
                   QCoreApplication::translate("FileView", "Esporta..."), &FileView::choose_export);
    rename_ =
        add_button(actions, kRenameButtonName, QCoreApplication::translate("FileView", "Rinomina"),
                   &FileView::rename_selected);
    erase_ =
        add_button(actions, kEraseButtonName, QCoreApplication::translate("FileView", "Elimina"),
                   &FileView::erase_selected);
    add_button(actions, kNewFolderButtonName,
               QCoreApplication::translate("FileView", "Nuova cartella"), &FileView::new_folder);
    actions->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(list_, 1);
    layout->addLayout(actions);
    layout->addWidget(message_);

    QObject::connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { refresh(); });
    QObject::connect(list_, &QTreeWidget::itemSelectionChanged, this,
                     [this] { selection_changed(); });
    QObject::connect(list_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (item->data(0, kFolderRole).toBool())
            enter(folder_ + item->data(0, kNameRole).toByteArray().toStdString() + "/");
        else
            choose_export();
    });
    resize(520, 420);
    refresh();
}

FileView::~FileView() {
    if (open_view == this) open_view = nullptr;
}

QPushButton* FileView::add_button(QHBoxLayout* row, const char* name, const QString& text,
                                  void (FileView::*action)()) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(name);
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, this, [this, action] { (this->*action)(); });
    row->addWidget(button);
    return button;
}

void FileView::refresh() {
    if (root_ != served_root()) folder_ = "/";  // another folder is served now
    root_ = served_root();
    // A folder shown that went away (the device erased it): its nearest folder that is left.
    while (folder_ != "/" && !platform::folder_exists(desk_path(folder_))) {
        folder_.pop_back();
        folder_.erase(folder_.find_last_of('/') + 1);
    }
    const std::string keep = selected_name();
    const Listing listing = list_catalogue(folder_);
    device_folder_ = device_of(served_current_folder());
    const std::string shown_folder = device_of(listing.folder);
    list_->clear();
    for (const ListedEntry& entry : listing.entries) {
        if (entry.name == "." || entry.name == "..") continue;  // "Su" climbs
        auto* item = new QTreeWidgetItem(list_);
        item->setText(0, shown(entry.name));
        item->setData(0, kNameRole, QByteArray::fromStdString(entry.name));
        item->setData(0, kFolderRole, entry.folder);
        if (entry.folder) {
            item->setText(1, QStringLiteral("DIR"));
            item->setFlags(item->flags() & ~Qt::ItemIsDragEnabled);
            const std::string path =
                shown_folder == "/" ? "/" + entry.name : shown_folder + "/" + entry.name;
            if (holds(path, device_folder_)) {
                QFont bold = item->font(0);
                bold.setBold(true);
                for (int c = 0; c < 3; ++c) item->setFont(c, bold);
                item->setToolTip(0, device_folder_ == path
                                        ? QCoreApplication::translate(
                                              "FileView", "Il dispositivo è in questa cartella")
                                        : QCoreApplication::translate("FileView",
                                                                      "Il dispositivo è in una sua "
                                                                      "sottocartella"));
            }
        } else {
            item->setText(1, shown(stored_file_words(entry.header)));
            const std::uint64_t data =
                entry.size > kStoredHeaderSize ? entry.size - kStoredHeaderSize : 0;
            item->setText(2, italian_number(data));
            item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        }
        if (entry.name == keep) item->setSelected(true);
    }
    folder_line_->setText(
        QCoreApplication::translate("FileView", "Cartella: %1   %2")
            .arg(shown(shown_folder),
                 device_folder_ == shown_folder
                     ? QCoreApplication::translate("FileView", "(il dispositivo è qui)")
                     : QCoreApplication::translate("FileView", "(il dispositivo è in %1)")
                           .arg(shown(device_folder_))));
    up_->setEnabled(folder_ != "/");
    if (!watcher_.directories().isEmpty()) watcher_.removePaths(watcher_.directories());
    watcher_.addPath(QString::fromStdString(listing.folder));
    selection_changed();
}

void FileView::device_activity() {
    if (root_ != served_root() || device_of(served_current_folder()) != device_folder_) refresh();
}

void FileView::enter(const std::string& folder) {
    folder_ = folder;
    list_->clearSelection();
    refresh();
}

void FileView::go_up() {
    if (folder_ == "/") return;
    std::string parent = folder_.substr(0, folder_.size() - 1);
    enter(parent.substr(0, parent.find_last_of('/') + 1));
}

QTreeWidgetItem* FileView::selected() const {
    const auto items = list_->selectedItems();
    return items.isEmpty() ? nullptr : items.front();
}

std::string FileView::selected_name() const {
    const QTreeWidgetItem* item = selected();
    return item ? item->data(0, kNameRole).toByteArray().toStdString() : std::string();
}

bool FileView::selected_is_folder() const {
    const QTreeWidgetItem* item = selected();
    return item && item->data(0, kFolderRole).toBool();
}

void FileView::selection_changed() {
    const bool any = selected() != nullptr;
    export_->setEnabled(any && !selected_is_folder());
    rename_->setEnabled(any);
    erase_->setEnabled(any);
}

void FileView::tell(const QString& text) {
    message_->setText(text);
}

void FileView::refuse(const QString& what, const DeskResult& result) {
    refuse(what, fault_text(result));
}

void FileView::refuse(const QString& what, const QString& reason) {
    const QString text = QCoreApplication::translate("FileView", "%1: %2").arg(what, reason);
    tell(text);
    auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
    box->setObjectName(kRefusalBoxName);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setProperty(gui::kKeysStayInWindow, true);
    box->open();
}

// ---- Importa... and drops -------------------------------------------------------------------

void FileView::choose_import() {
    auto* chooser =
        new QFileDialog(this, QCoreApplication::translate("FileView", "Importa sul dispositivo"));
    chooser->setObjectName(kImportChooserName);
    chooser->setProperty(gui::kKeysStayInWindow, true);
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    chooser->setFileMode(QFileDialog::ExistingFiles);
    QObject::connect(chooser, &QFileDialog::filesSelected, this,
                     [this](const QStringList& files) { import_files(files); });
    chooser->open();
}

void FileView::import_files(const QStringList& pc_files) {
    pending_ += pc_files;
    if (!import_dialog_) next_import();
}

// One dialog at a time; a file refused before its dialog (too large, unreadable) is told and
// the next one comes.
void FileView::next_import() {
    while (!pending_.isEmpty()) {
        const QString pc_file = pending_.takeFirst();
        const QString pc_name = QFileInfo(pc_file).fileName();
        auto data = std::make_shared<std::string>();
        const QString what = QCoreApplication::translate("FileView", "«%1» non importato");
        if (QFileInfo(pc_file).isDir()) {
            refuse(what.arg(pc_name),
                   QCoreApplication::translate("FileView", "è una cartella: si importano file."));
            continue;
        }
        if (const DeskResult r = read_pc_file(pc_file.toStdString(), *data); !r.ok()) {
            refuse(what.arg(pc_name), r);
            continue;
        }
        import_dialog_ = open_import_dialog(
            this, folder_, pc_file, data->size(), [this, data, pc_name](const ImportChoice& c) {
                const DeskResult r = import_stored(c.name, *data, c.header, c.replace);
                if (!r.ok())
                    return refuse(
                        QCoreApplication::translate("FileView", "«%1» non importato").arg(pc_name),
                        r);
                tell(QCoreApplication::translate("FileView", "«%1» importato come %2 (%3 byte).")
                         .arg(pc_name, shown(device_of(platform::resolve_path(desk_path(c.name)))),
                              italian_number(data->size())));
                refresh();
            });
        QObject::connect(static_cast<QDialog*>(import_dialog_.data()), &QDialog::finished, this,
                         [this] { next_import(); });
        return;
    }
}

// ---- Esporta... and drags out ---------------------------------------------------------------

QString FileView::drag_file(const std::string& name) {
    StoredContent content;
    if (!drag_folder_.isValid() || !read_stored(folder_ + name, content).ok()) return {};
    const QString file = drag_folder_.filePath(shown(name));
    if (!write_pc_file(file.toStdString(), content.data, true).ok()) return {};
    return file;
}

void FileView::choose_export() {
    const std::string name = selected_name();
    if (name.empty() || selected_is_folder()) return;
    auto* chooser = new QFileDialog(
        this, QCoreApplication::translate("FileView", "Esporta «%1»").arg(shown(name)));
    chooser->setObjectName(kExportChooserName);
    chooser->setProperty(gui::kKeysStayInWindow, true);
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    chooser->setAcceptMode(QFileDialog::AcceptSave);
    chooser->selectFile(shown(name));
    QObject::connect(chooser, &QFileDialog::fileSelected, this, [this, name](const QString& file) {
        StoredContent content;
        DeskResult r = read_stored(folder_ + name, content);
        // The chooser has asked before replacing a file.
        if (r.ok()) r = write_pc_file(file.toStdString(), content.data, true);
        if (!r.ok())
            return refuse(
                QCoreApplication::translate("FileView", "«%1» non esportato").arg(shown(name)), r);
        tell(QCoreApplication::translate("FileView", "«%1» esportato in %2 (%3 byte).")
                 .arg(shown(name), file, italian_number(content.data.size())));
    });
    chooser->open();
}

// ---- Rinomina, Elimina, Nuova cartella ------------------------------------------------------

void FileView::rename_selected() {
    const std::string name = selected_name();
    if (name.empty()) return;
    const std::string entry = folder_ + name;
    open_name_dialog(
        this, QCoreApplication::translate("FileView", "Rinomina"),
        QCoreApplication::translate("FileView", "Nuovo nome di «%1»:").arg(shown(name)),
        shown(name), [entry](const std::string& n) { return check_rename(entry, n); },
        [this, entry, name](const std::string& n) {
            const DeskResult r = rename_entry(entry, n);
            if (!r.ok())
                return refuse(
                    QCoreApplication::translate("FileView", "«%1» non rinominato").arg(shown(name)),
                    r);
            tell(QCoreApplication::translate("FileView", "«%1» rinominato %2.")
                     .arg(shown(name), shown(n)));
            refresh();
        });
}

void FileView::erase_selected() {
    const std::string name = selected_name();
    if (name.empty()) return;
    const bool folder = selected_is_folder();
    auto* box = new QMessageBox(
        QMessageBox::Question, QCoreApplication::translate("FileView", "Elimina"),
        folder ? QCoreApplication::translate(
                     "FileView", "Eliminare la cartella «%1»? Si elimina solo se è vuota.")
                     .arg(shown(name))
               : QCoreApplication::translate("FileView", "Eliminare «%1» dal dispositivo?")
                     .arg(shown(name)),
        QMessageBox::Yes | QMessageBox::No, this);
    box->setObjectName(kEraseQuestionName);
    box->setDefaultButton(QMessageBox::No);
    box->button(QMessageBox::Yes)->setText(QCoreApplication::translate("FileView", "Sì"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setProperty(gui::kKeysStayInWindow, true);
    const std::string entry = folder_ + name;
    QObject::connect(box, &QMessageBox::finished, this, [this, box, entry, name](int) {
        if (box->clickedButton() != box->button(QMessageBox::Yes)) return;
        const DeskResult r = erase_entry(entry);
        if (!r.ok())
            return refuse(
                QCoreApplication::translate("FileView", "«%1» non eliminato").arg(shown(name)), r);
        tell(QCoreApplication::translate("FileView", "«%1» eliminato.").arg(shown(name)));
        refresh();
    });
    box->open();
}

void FileView::new_folder() {
    const std::string folder = folder_;
    open_name_dialog(
        this, QCoreApplication::translate("FileView", "Nuova cartella"),
        QCoreApplication::translate("FileView", "Nome della nuova cartella:"), {},
        [folder](const std::string& n) { return check_new_folder(folder + n); },
        [this, folder](const std::string& n) {
            const DeskResult r = make_folder(folder + n);
            if (!r.ok())
                return refuse(QCoreApplication::translate("FileView", "Cartella non creata"), r);
            tell(QCoreApplication::translate("FileView", "Cartella «%1» creata.").arg(shown(n)));
            refresh();
        });
}

}  // namespace

QWidget* open_file_view(QWidget* parent) {
    if (!open_view) open_view = new FileView(parent);
    open_view->show();
    open_view->raise();
    open_view->activateWindow();
    return open_view;
}

QWidget* file_view_window() {
    return open_view;
}

void note_device_activity() {
    if (open_view) open_view->device_activity();
}

void import_into_file_view(const QStringList& pc_files) {
    if (open_view) open_view->import_files(pc_files);
}

}  // namespace kv::core
