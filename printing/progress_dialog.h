#pragma once
// The printer's progress dialog: the document name as title, a printer picture, "Sto stampando la
// pagina n.:" with the page number and "&Annulla", which cancels the job. Non-modal.
#include <QDialog>
#include <functional>

class QLabel;

namespace kv::printing {

// The printer's progress dialog (see the top of this file).
class ProgressDialog : public QDialog {
  public:
    // A window of its own kept above `owner` (the window that started the job), when there is
    // one.
    ProgressDialog(QWidget* owner, const QString& title, std::function<void()> on_cancel);
    // Shows the page being printed.
    void set_page(int page);
    // The text the dialog shows for the page.
    QString page_text() const;

  protected:
    // Esc does not close it; the job closes it when it ends.
    void reject() override {}

  private:
    QLabel* page_;
};

// True when windows can be shown (not headless, a widget application).
bool can_show_windows();

}  // namespace kv::printing
