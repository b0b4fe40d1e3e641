#pragma once
// Dialogs and their controls over Qt widgets: what the library's dialogs and their close rule
// rely on. A control knows its class name ("TGET", "TCOMBOBOX", ...), its id, the name and accessor
// of its variable, an optional when-condition, its display picture, its background colour and an
// optional validity rule. A dialog, and each page of a folder control, holds its controls in order
// and a modified flag that every edit sets. A dialog's cargo records how it is being closed: 1 by
// its confirm button, 2 by its cancel button, empty otherwise (Esc, the close box, Alt+F4).
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

class QDialog;
class QWidget;

namespace kv::gui {

// A variable's value: text, a number, or a date in its text form (the library converts dates).
using VarValue = std::variant<std::string, double>;
enum class VarKind { Text, Number, Date };

// The accessor of a control's variable.
struct Variable {
    VarKind kind = VarKind::Text;
    std::function<VarValue()> get;
    std::function<void(const VarValue&)> set;
};
// The accessor of a text variable.
Variable text_variable(std::string& variable);
// The accessor of a numeric variable.
Variable number_variable(double& variable);

// A Windows colour: 0x00BBGGRR.
using Colour = std::uint32_t;
// The colour of red, green and blue parts from 0 to 255.
constexpr Colour rgb(int r, int g, int b) {
    return static_cast<Colour>(r) | static_cast<Colour>(g) << 8 | static_cast<Colour>(b) << 16;
}

class Dialog;
class Container;

// A control of a dialog or folder page (see the top of this file).
class Control {
  public:
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    // The control's class name ("TGET", "TBUTTON", ...).
    const std::string& class_name() const { return class_name_; }
    // The control's widget.
    QWidget* widget() const { return widget_; }
    // The dialog or page holding the control.
    Container& owner() const { return owner_; }

    int id = 0;
    std::string var_name;
    std::function<bool()> when;  // absent: always active
    std::optional<Variable> set_get;
    std::string picture;
    std::function<bool(Control&)> valid;  // the cargo's validity rule: false rejects the field

    // The variable's value (VarGet); none without a variable.
    std::optional<VarValue> var_get() const;
    // The text the variable shows under the picture: text and dates as they are, numbers
    // formatted.
    std::string var_text() const;
    // The shown text (GetText).
    virtual std::string text() const;
    // Shows the variable again.
    virtual void refresh();
    // The lost-focus action: the shown text reaches the variable.
    virtual void finish_edit();

    // The background colour.
    Colour pane_colour() const;
    // Changes the background colour.
    void set_pane_colour(Colour colour);
    // Gives the control the keyboard focus.
    void set_focus();
    // Enables or disables the control.
    void enable(bool on);
    // True while the control is enabled.
    bool enabled() const;
    // Places the control in its dialog or page.
    Control& at(int left, int top, int width, int height);

  protected:
    // A control of a kind, made by Container::add.
    Control(Container& owner, std::string class_name, QWidget* widget);
    // The edit's change action: the owner is modified.
    void changed();

  private:
    Container& owner_;
    std::string class_name_;
    QWidget* widget_;
};

// A dialog or a folder page: controls in order and the modified flag.
class Container {
  public:
    virtual ~Container();
    Container(const Container&) = delete;
    Container& operator=(const Container&) = delete;

    // The container's widget.
    QWidget* widget() const { return widget_; }
    // The dialog the container belongs to (itself for a dialog).
    virtual Dialog& dialog() = 0;
    // The controls, in the order they were made.
    const std::vector<std::unique_ptr<Control>>& controls() const { return controls_; }

    // Makes a control of this container: add<Get>(variable, ...), see gui/controls.h.
    template <class T, class... Args>
    T& add(Args&&... args) {
        auto control = std::make_unique<T>(*this, std::forward<Args>(args)...);
        T& ref = *control;
        controls_.push_back(std::move(control));
        return ref;
    }

    bool modified = false;  // lModify

  protected:
    // A container over its widget.
    explicit Container(QWidget* widget) : widget_(widget) {}

  private:
    QWidget* widget_;
    std::vector<std::unique_ptr<Control>> controls_;
};

// A modal dialog holding controls, which closes under its close rule.
class Dialog : public Container {
  public:
    // A dialog with its title, not shown yet.
    explicit Dialog(const std::string& title);
    ~Dialog() override;
    // The dialog itself.
    Dialog& dialog() override { return *this; }
    // The dialog's window.
    QDialog* window() const;

    std::optional<int> cargo;
    // Asked on every close request; false keeps the dialog open.
    void set_close_rule(std::function<bool()> rule);

    // The size of the dialog's window.
    void set_size(int width, int height);
    // Shows the dialog modally, centred, and returns its result once it has closed; the window
    // that was active before is active again.
    int activate();
    // A close request with a result (0 for Esc and the close box).
    void end(int result);
    // The result the dialog closed with.
    int result() const;
    // Repaints the dialog now.
    void redraw();
    // The control whose window is or holds the widget, searching folder pages; nullptr if none.
    Control* control_of(const QWidget* widget) const;

  private:
    class Window;
    Window* window_;
};

// A page of a folder control: a container of its own, in the dialog.
class FolderPage : public Container {
  public:
    // A page of a folder of a dialog, over its widget.
    FolderPage(Dialog& dialog, QWidget* widget) : Container(widget), dialog_(dialog) {}
    // The dialog holding the folder.
    Dialog& dialog() override { return dialog_; }

  private:
    Dialog& dialog_;
};

}  // namespace kv::gui
