#pragma once
// The "Stampa" dialog of the preview: the printer ("Nome:"), the pages ("Intervallo di stampa":
// "Tutte", "Pagina corrente" or "Selezione" "da" ... "a") and the number of copies ("Copie:").
#include <QDialog>
#include <string>

class QComboBox;
class QRadioButton;
class QSpinBox;

namespace kv::printing {

struct PrintRequest {
    std::string printer;
    int first = 1;
    int last = 1;
    int copies = 1;
};

class PrintDialog : public QDialog {
  public:
    // `printer` is preset when it is in the list; `current` is the page shown.
    PrintDialog(QWidget* parent, const std::string& printer, int current, int pages);
    PrintRequest request() const;

    QComboBox* name() const { return name_; }
    QRadioButton* all() const { return all_; }
    QRadioButton* current_page() const { return current_; }
    QRadioButton* selection() const { return selection_; }
    QSpinBox* from() const { return from_; }
    QSpinBox* to() const { return to_; }
    QSpinBox* copies() const { return copies_; }

    // OK: closes only when every field is acceptable; the first bad one is pointed out.
    void accept() override;

  private:
    QComboBox* name_;
    QRadioButton* all_;
    QRadioButton* current_;
    QRadioButton* selection_;
    QSpinBox* from_;
    QSpinBox* to_;
    QSpinBox* copies_;
    int current_page_;
    int pages_;
};

}  // namespace kv::printing
