#include "printing/progress_dialog.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "gui/run_mode.h"

namespace kv::printing {

bool can_show_windows() {
    return !gui::is_headless() && qobject_cast<QApplication*>(QCoreApplication::instance());
}

ProgressDialog::ProgressDialog(QWidget* owner, const QString& title,
                               std::function<void()> on_cancel)
    : QDialog(owner) {
    setWindowTitle(title);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    auto* frame = new QGroupBox(this);
    auto* picture = new QLabel(frame);
    picture->setObjectName("PRINT");
    picture->setPixmap(
        QIcon::fromTheme("printer", style()->standardIcon(QStyle::SP_ComputerIcon)).pixmap(32, 32));
    auto* text = new QLabel(QString::fromUtf8("Sto stampando la pagina n.:"), frame);
    page_ = new QLabel(frame);
    page_->setObjectName("102");
    auto* inner = new QGridLayout(frame);
    inner->addWidget(picture, 0, 0, 2, 1);
    inner->addWidget(text, 0, 1);
    inner->addWidget(page_, 0, 2);
    auto* cancel = new QPushButton(QString::fromUtf8("&Annulla"), this);
    cancel->setObjectName("201");
    connect(cancel, &QPushButton::clicked, this, [on_cancel = std::move(on_cancel)] {
        if (on_cancel) on_cancel();
    });
    auto* layout = new QGridLayout(this);
    layout->addWidget(frame, 0, 0, 1, 3);
    layout->addWidget(cancel, 1, 1);
}

void ProgressDialog::set_page(int page) {
    page_->setText(QString::number(page));
}

QString ProgressDialog::page_text() const {
    return page_->text();
}

}  // namespace kv::printing
