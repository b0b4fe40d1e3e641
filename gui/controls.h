#pragma once
// The controls of the library's dialogs. Each is made in a dialog or folder page with
// container.add<Kind>(...) and placed with at(); class names as the close rule knows them.
#include <string>
#include <vector>

#include "gui/dialog.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QTabWidget;

namespace kv::gui {

// An edit field ("TGET"): shows its variable under the picture; an edit sets the modified flag,
// and the edited text reaches the variable when the field loses the focus.
class Get : public Control {
  public:
    // A text field for the variable, shown under the picture.
    Get(Container& owner, Variable variable, std::string picture = {}, int id = 0);
    std::string text() const override;
    void refresh() override;
    void finish_edit() override;
    // Shows a text as if typed (the variable follows on finish_edit).
    void set_text(const std::string& text);
    // The field's line edit.
    QLineEdit* edit() const;
};

// A multi-line edit field ("TMULTIGET") of a text variable.
class MultiGet : public Control {
  public:
    // A text field of several lines for the variable.
    MultiGet(Container& owner, Variable variable, int id = 0);
    std::string text() const override;
    void refresh() override;
    void finish_edit() override;
    // The field's text edit.
    QPlainTextEdit* edit() const;

  private:
    bool refreshing_ = false;
};

// A combo box ("TCOMBOBOX") whose variable is the text of the chosen item.
class ComboBox : public Control {
  public:
    // A combo box offering the items; the variable holds the chosen text.
    ComboBox(Container& owner, Variable variable, const std::vector<std::string>& items,
             int id = 0);
    std::string text() const override;  // the text of its edit part
    void refresh() override;
    void finish_edit() override;
    // The number of items.
    int count() const;
    // The text of an item (from 0).
    std::string item(int index) const;
    // Changes the text of an item (from 0).
    void set_item(int index, const std::string& text);
    int selected() const;  // -1 when none
    // Chooses an item (from 0).
    void select(int index);
    // The combo box's widget.
    QComboBox* box() const;

    // The value a disabled combo box keeps to put back when it is enabled.
    std::optional<std::string> remembered;
    int remembered_at = -1;
};

// A list box ("TLISTBOX") whose variable is the text of the chosen item.
class ListBox : public Control {
  public:
    // A list of the items; the variable holds the chosen text.
    ListBox(Container& owner, Variable variable, const std::vector<std::string>& items, int id = 0);
    std::string text() const override;
    void finish_edit() override;
    // The list's widget.
    QListWidget* list() const;
};

// A fixed or variable text ("TSAY").
class Say : public Control {
  public:
    // A fixed text.
    Say(Container& owner, const std::string& text, int id = 0);
    // The variable's value shown under the picture.
    Say(Container& owner, Variable variable, std::string picture = {}, int id = 0);
    std::string text() const override;
    void refresh() override;
};

// A progress bar ("TMETER") showing a numeric variable.
class Meter : public Control {
  public:
    // A progress bar for the variable, full at total.
    Meter(Container& owner, Variable variable, int total, int id = 0);
    void refresh() override;
};

// A push button ("TBUTTON") that runs an action.
class Button : public Control {
  public:
    // A button with its text that runs the action when pressed.
    Button(Container& owner, const std::string& text, std::function<void()> action, int id = 0);
};
// The confirm button: cargo 1, then a close request with result 1. It is the default button.
Button& add_confirm_button(Container& owner, const std::string& text, int id);
// The cancel button: cargo 2, then a close request with result 2.
Button& add_cancel_button(Container& owner, const std::string& text, int id);

// A folder ("TFOLDER"): pages, each a container of its own, one of them in front.
class Folder : public Control {
  public:
    // A folder with one page per title.
    Folder(Container& owner, const std::vector<std::string>& titles, int id = 0);
    // The pages, in order.
    const std::vector<std::unique_ptr<FolderPage>>& pages() const { return pages_; }
    // Page n, from 1.
    FolderPage& page(int n) const { return *pages_.at(static_cast<std::size_t>(n - 1)); }
    // Brings page n (from 1) to the front.
    void SetOption(int n);
    // The page in front (from 1).
    int option() const;
    // The folder's tab widget.
    QTabWidget* tabs() const;

  private:
    std::vector<std::unique_ptr<FolderPage>> pages_;
};

}  // namespace kv::gui
