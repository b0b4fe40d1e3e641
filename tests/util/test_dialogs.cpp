// The close rule of dialogs and the dialog utilities, on real dialogs (offscreen), with message
// boxes answered by a scripted answerer.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include <gtest/gtest.h>

#include "gui/pump.h"
#include "tests/support/window_test.h"
#include "tests/util/date_settings.h"
#include "util/dialogs.h"

namespace {

namespace gui = kv::gui;
using namespace kv::util;

class DialogTest : public kv::test::WindowTest {
  protected:
    // Answers every box with the button, after running `during` with the box on screen.
    void answer(QMessageBox::StandardButton button, std::function<void()> during = {}) {
        gui::set_box_answerer([this, button, during](QMessageBox& box, const gui::BoxRequest& r) {
            boxes.push_back(r.text);
            if (during) during();
            box.button(button)->click();
        });
    }
    static void show(gui::Dialog& dialog) {
        dialog.window()->show();
        QApplication::setActiveWindow(dialog.window());
    }
    static void type(gui::Control& control, const std::string& text) {
        control.set_focus();
        POSTSTRING(gui::WindowRef(control.widget()), text);
    }
    static void click(gui::Control& button) { static_cast<QPushButton*>(button.widget())->click(); }

    std::vector<std::string> boxes;
    kv::test::ScopedDateSettings dates;
};

TEST_F(DialogTest, ConfirmChecksEachActiveFieldAndPointsOutTheFirstBadOne) {
    enum Kind { DateField, NumberField, RuledField };
    struct Case {
        Kind kind;
        const char* typed;
        bool active;
        const char* message;  // nullptr: the dialog closes
    } cases[] = {
        {DateField, "31/02/26", true, "Data non valida."},
        {DateField, "", true, nullptr},
        {DateField, "  /  /  ", true, nullptr},
        {DateField, "28/02/26", true, nullptr},
        {DateField, "31/02/26", false, nullptr},  // an inactive field is never checked
        {NumberField, "1000", true, "Numero troppo grande."},
        {NumberField, "999", true, nullptr},
        {RuledField, "no", true, "Campo non valido."},
        {RuledField, "si", true, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        Date date;
        double number = 0;
        std::string text;
        gui::Dialog dialog("Prova");
        dialog.add<gui::Get>(gui::text_variable(text)).at(10, 10, 100, 24);  // a good field first
        gui::Get* field = nullptr;
        if (c.kind == DateField) field = &dialog.add<gui::Get>(date_variable(date));
        if (c.kind == NumberField)
            field = &dialog.add<gui::Get>(gui::number_variable(number), "999");
        if (c.kind == RuledField) {
            field = &dialog.add<gui::Get>(gui::text_variable(text));
            field->valid = [](gui::Control& f) { return f.text() == "si"; };
        }
        field->at(10, 40, 100, 24);
        if (!c.active) field->when = [] { return false; };
        auto& confirm = gui::add_confirm_button(dialog, "&Conferma", 1);
        dialog.set_close_rule([&dialog] { return VALID_(dialog, false); });
        show(dialog);
        field->set_text(c.typed);
        field->set_focus();  // its text reaches the variable as the check begins

        gui::Colour pane_during = 0;
        bool focused_during = false;
        answer(QMessageBox::Ok, [&] {
            pane_during = field->pane_colour();
            focused_during = dialog.window()->focusWidget() == field->widget();
        });
        const gui::Colour pane_before = field->pane_colour();
        click(confirm);
        EXPECT_EQ(dialog.window()->isVisible(), c.message != nullptr);
        if (c.message) {
            EXPECT_EQ(boxes, std::vector<std::string>{c.message});
            EXPECT_EQ(pane_during, gui::rgb(255, 0, 0));
            EXPECT_TRUE(focused_during);
            EXPECT_EQ(field->pane_colour(), pane_before);
            EXPECT_EQ(dialog.window()->focusWidget(), field->widget());
            EXPECT_FALSE(dialog.cargo);  // a later close is judged afresh
        } else {
            EXPECT_TRUE(boxes.empty());
        }
        if (c.kind == DateField && c.active && !c.message) {
            EXPECT_EQ(date, std::string(c.typed) == "28/02/26" ? Date::of(2026, 2, 28) : Date());
        }
        boxes.clear();
    }
}

TEST_F(DialogTest, OtherClosesAskOnlyAfterAnEditWhenTheCallerAsks) {
    struct Case {
        bool edit;
        bool edit_on_page;
        bool ask;
        QMessageBox::StandardButton answer;
        bool asked;
        bool closes;
    } cases[] = {
        {false, false, true, QMessageBox::No, false, true},
        {true, false, false, QMessageBox::No, false, true},
        {true, false, true, QMessageBox::Yes, true, true},
        {true, false, true, QMessageBox::No, true, false},
        {false, true, true, QMessageBox::No, true, false},  // a page's change counts
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.edit << c.edit_on_page << c.ask << c.answer);
        std::string name = "Rossi";
        std::string note;
        gui::Dialog dialog("Prova");
        auto& field = dialog.add<gui::Get>(gui::text_variable(name));
        auto& folder = dialog.add<gui::Folder>(std::vector<std::string>{"Uno", "Due"});
        auto& page_field = folder.page(2).add<gui::Get>(gui::text_variable(note));
        const bool ask = c.ask;
        dialog.set_close_rule([&dialog, ask] { return VALID_(dialog, ask); });
        show(dialog);
        if (c.edit) type(field, "x");
        if (c.edit_on_page) type(page_field, "y");
        EXPECT_EQ(dialog.modified, c.edit);
        answer(c.answer);
        dialog.window()->close();  // the close box
        EXPECT_EQ(boxes.size(), c.asked ? 1u : 0u);
        if (c.asked && boxes.size() == 1) {
            EXPECT_EQ(boxes.front(), "Annullo le modifiche?");
        }
        EXPECT_EQ(dialog.window()->isVisible(), !c.closes);
        boxes.clear();
    }
}

TEST_F(DialogTest, CloseRequestWhileTheQuestionWaitsIsRefused) {
    std::string name;
    gui::Dialog dialog("Prova");
    auto& field = dialog.add<gui::Get>(gui::text_variable(name));
    auto& cancel = gui::add_cancel_button(dialog, "&Annulla", 2);
    dialog.set_close_rule([&dialog] { return VALID_(dialog, true); });
    show(dialog);
    type(field, "abc");
    bool open_after_nested = false;
    answer(QMessageBox::No, [&] {
        dialog.end(0);  // e.g. a second Esc handled while the box waits
        open_after_nested = dialog.window()->isVisible();
    });
    click(cancel);
    EXPECT_TRUE(open_after_nested);
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(dialog.window()->isVisible());
    answer(QMessageBox::Yes);
    click(cancel);
    EXPECT_FALSE(dialog.window()->isVisible());
    EXPECT_EQ(dialog.result(), 2);
}

TEST_F(DialogTest, BadFieldOnAFolderPageBringsThatPageUp) {
    double copies = 1000;
    double pages = 3;
    gui::Dialog dialog("Stampa");
    auto& folder = dialog.add<gui::Folder>(std::vector<std::string>{"Generale", "Copie"});
    folder.page(1).add<gui::Get>(gui::number_variable(pages), "999", 10).var_name = "nPages";
    folder.page(2).add<gui::Get>(gui::number_variable(copies), "999", 20).var_name = "nCopies";
    auto& confirm = gui::add_confirm_button(dialog, "&Conferma", 1);
    dialog.set_close_rule([&dialog] { return VALID_(dialog, false); });
    show(dialog);
    answer(QMessageBox::Ok);
    click(confirm);
    EXPECT_EQ(boxes, std::vector<std::string>{"Numero troppo grande."});
    EXPECT_TRUE(dialog.window()->isVisible());
    EXPECT_EQ(folder.option(), 2);

    // Look-ups reach into the pages; CTL by number counts the dialog's own controls only.
    EXPECT_EQ(CTL(dialog, 1), &folder);
    EXPECT_EQ(CTL(dialog, 3), nullptr);
    EXPECT_EQ(CTL(dialog, "nCopies"), ITEM(dialog, 20));
    EXPECT_EQ(CTL(dialog, "nCopies")->text(), "***");
    EXPECT_EQ(ITEM(dialog, 10)->var_name, "nPages");
    EXPECT_EQ(ITEM(dialog, 99), nullptr);
    folder.page(1).modified = folder.page(2).modified = true;
    RESETMODIFY(folder);
    EXPECT_FALSE(folder.page(1).modified || folder.page(2).modified);
}

TEST_F(DialogTest, RefreshShowsChangedVariablesAndIsNotReentered) {
    std::string name = "Rossi";
    double count = 5;
    Date day = Date::of(2026, 3, 1);
    Date typed_day;
    int reads = 0;
    gui::Dialog dialog("Prova");
    auto& name_field = dialog.add<gui::Get>(gui::text_variable(name));
    auto& count_field = dialog.add<gui::Get>(gui::number_variable(count), "999");
    auto& day_field = dialog.add<gui::Get>(date_variable(day));
    auto& bad_day_field = dialog.add<gui::Get>(date_variable(typed_day));
    gui::Variable nested{gui::VarKind::Text,
                         [&] {
                             ++reads;
                             REFRESHALL(dialog);  // a nested refresh returns at once
                             return gui::VarValue(std::string("x"));
                         },
                         {}};
    dialog.add<gui::Say>(nested);
    EXPECT_EQ(count_field.text(), "  5");
    EXPECT_EQ(day_field.text(), "01/03/26");
    bad_day_field.set_text("31/02/26");

    name = "Bianchi";
    count = 12;
    day = Date();
    reads = 0;
    REFRESHALL(dialog);
    EXPECT_EQ(name_field.text(), "Bianchi");
    EXPECT_EQ(count_field.text(), " 12");
    EXPECT_EQ(day_field.text(), "        ");
    EXPECT_EQ(bad_day_field.text(), "31/02/26");  // what the user typed stays to be mended
    EXPECT_EQ(reads, 1);
}

TEST_F(DialogTest, DisabledComboBoxKeepsItsValueUntilEnabled) {
    std::string port = "PDF";
    gui::Dialog dialog("Prova");
    auto& combo = dialog.add<gui::ComboBox>(gui::text_variable(port),
                                            std::vector<std::string>{"LPT1", "PDF", "Fax"});
    EXPECT_EQ(combo.selected(), 1);
    CTLDISABLE(combo);
    CTLDISABLE(combo);  // a second disable must not lose the value
    EXPECT_FALSE(combo.enabled());
    EXPECT_EQ(port, "");
    EXPECT_EQ(combo.item(1), "");
    EXPECT_EQ(combo.selected(), 1);
    CTLENABLE(combo);
    EXPECT_TRUE(combo.enabled());
    EXPECT_EQ(port, "PDF");
    EXPECT_EQ(combo.item(1), "PDF");
    EXPECT_EQ(combo.selected(), 1);
}

TEST_F(DialogTest, MsgGetStoresTheTextOnlyWhenConfirmed) {
    struct Case {
        const char* keys;
        bool confirmed;
        const char* value;
    } cases[] = {
        {"Bianchi\r", true, "Bianchi"},   // Enter presses the confirm button
        {"Bianchi\x1b", false, "Rossi"},  // Esc
        {"\b\b\b\b\b\r", true, ""},       // every character rubbed out
    };
    QDialog main_window;
    main_window.show();
    QApplication::setActiveWindow(&main_window);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        std::string value = "Rossi";
        QString title;
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            title = dialog->windowTitle();
            if (c.keys[0] != '\b') {  // start from an empty field
                auto* edit = dialog->findChild<QLineEdit*>();
                edit->clear();
            }
            POSTSTRING(gui::WindowRef(dialog), c.keys);
        });
        EXPECT_EQ(MSGGET("Utente", "Nome dell'utente:", value), c.confirmed);
        EXPECT_EQ(title, "Utente");
        EXPECT_EQ(value, c.value);
        gui::SYSREFRESH();
        EXPECT_EQ(QApplication::activeWindow(), &main_window);
    }
}

}  // namespace
