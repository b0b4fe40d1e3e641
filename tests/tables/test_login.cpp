// USER: anonymous login, logins with the user id and with the password (the dialog answered as a
// user would type), each message path, and the user table that kvusers keeps.
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include <cstdlib>
#include <deque>

#include "gui/login_dialog.h"
#include "gui/run_mode.h"
#include "tables/login.h"
#include "tables/login_users.h"
#include "tests/tables/tables_fixture.h"
#include "tests/util/test_paths_boxes.h"

namespace kv::db {
namespace {

namespace fs = std::filesystem;

// What the user does with one showing of the login dialog.
struct Answer {
    std::string id;  // typed into the empty id field
    std::optional<std::string> password = std::nullopt;
    const char* button = "201";      // "201" confirm, "202" cancel, "" the close box
    std::string seen_password = {};  // what the password field held when the dialog came
};

void type(QLineEdit& edit, const std::string& text) {
    edit.setFocus();
    edit.clear();
    for (char c : text) {
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(QChar::fromLatin1(c)));
        QApplication::sendEvent(&edit, &key);
    }
}

class LoginTest : public test::TablesTest {
  protected:
    LoginTest() {
        if (const char* old = std::getenv("TEMP")) saved_temp_ = old;
        ::setenv("TEMP", temp_.str().c_str(), 1);
        util::ACS_USER = "USER";
        util::ACS_LEVEL = 1;
    }
    ~LoginTest() override {
        if (saved_temp_) {
            ::setenv("TEMP", saved_temp_->c_str(), 1);
        } else {
            ::unsetenv("TEMP");
        }
        util::ACS_USER.clear();
        util::ACS_TEMP.clear();
        util::ACS_PASSWD.clear();
        EXPECT_TRUE(answers_.empty()) << "the dialog came fewer times than expected";
    }

    void answer(QDialog& dialog) {
        if (answers_.empty()) {
            ADD_FAILURE() << "the dialog came once too often";
            dialog.done(0);
            return;
        }
        const Answer a = answers_.front();
        answers_.pop_front();
        EXPECT_EQ(dialog.windowTitle(), "Utente");
        auto* id = dialog.findChild<QLineEdit*>("id");
        auto* password = dialog.findChild<QLineEdit*>("password");
        EXPECT_EQ(password != nullptr, a.password.has_value());
        type(*id, a.id);
        if (password) {
            EXPECT_EQ(password->text().toStdString(), a.seen_password);
            EXPECT_EQ(password->echoMode(), QLineEdit::Password);
            type(*password, *a.password);
        }
        if (*a.button == '\0') {
            dialog.reject();
        } else {
            dialog.findChild<QPushButton*>(a.button)->click();
        }
    }

    // The code with which USER ended the program, or nothing when it returned.
    std::optional<int> user(std::optional<bool> flag) {
        try {
            USER(flag);
            return std::nullopt;
        } catch (const util::QuitProgram& quit) {
            return quit.exit_code;
        }
    }

    int kvusers(const std::string& arguments) {
        return std::system(
            ("cd '" + work_.str() + "' && " KVUSERS_BINARY " " + arguments + " >/dev/null 2>&1")
                .c_str());
    }

    std::string login_folder() const { return util::library_state().login_folder; }

    test::TempDir temp_;
    std::optional<std::string> saved_temp_;
    std::deque<Answer> answers_;
    std::vector<std::string> boxes_;
    test::BoxRecorder recorder_{boxes_};
    gui::ScopedHeadless windowed_{false};
    gui::ScopedLoginDialogAnswerer answerer_{[this](QDialog& dialog) { answer(dialog); }};
};

TEST_F(LoginTest, AnonymousLoginMakesAPrivateFolderUnderTemp) {
    EXPECT_EQ(user(std::nullopt), std::nullopt);
    const std::string id = SETUSER();
    ASSERT_EQ(id.front(), '\x7f');
    EXPECT_EQ(util::ACS_USER, id);
    EXPECT_EQ(login_folder(), temp_.str() + "/" + id + "/");
    EXPECT_EQ(util::ACS_TEMP, login_folder());
    EXPECT_TRUE(fs::is_regular_file(login_folder() + "USER"));
    EXPECT_FALSE(test::another_process_can_open(login_folder() + "USER"));
    EXPECT_FALSE(fs::exists(work_.path() / (id + ".USR")));
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(LoginTest, LoginWithTheUserIdAsksAgainForAnInvalidOne) {
    memory_variables().set("USR_PRINTER", std::string("LASER"));
    answers_ = {{.id = "a*b"}, {.id = "rossi"}};
    EXPECT_EQ(user(false), std::nullopt);
    EXPECT_EQ(boxes_, std::vector<std::string>{"Identificativo utente non valido."});
    EXPECT_EQ(util::ACS_USER, "ROSSI");
    EXPECT_EQ(SETUSER(), "ROSSI");
    EXPECT_TRUE(fs::is_regular_file(login_folder() + "USER"));
    EXPECT_GT(fs::file_size(work_.path() / "ROSSI.USR"), 32u);
}

TEST_F(LoginTest, CancellingOrClosingTheDialogEndsTheProgram) {
    answers_ = {{.id = "rossi", .button = "202"}};
    EXPECT_EQ(user(false), 0);
    answers_ = {{.id = "rossi", .button = ""}};
    EXPECT_EQ(user(false), 0);
    EXPECT_TRUE(util::nobody_logged_in());
}

TEST_F(LoginTest, PasswordLoginWithAUserThatKvusersMade) {
    EXPECT_EQ(user(true), 1) << "no user table: the program ends without a word";
    EXPECT_TRUE(boxes_.empty());
    ASSERT_EQ(kvusers("add rossi --level 3 --password segreto"), 0);
    ASSERT_EQ(kvusers("add verdi --level 9 --password x"), 0);
    EXPECT_NE(kvusers("add ROSSI --level 3 --password other"), 0) << "ids are unique";
    ASSERT_TRUE(fs::exists(work_.path() / "USERS.NTX"));
    fs::remove(work_.path() / "USERS.NTX");
    EXPECT_EQ(kvusers("level verdi 8"), 0);
    EXPECT_TRUE(fs::exists(work_.path() / "USERS.NTX")) << "a missing index is built again";
    answers_ = {
        {.id = "bianchi", .password = "segreto"},
        {.id = "rossi", .password = "segreto ", .seen_password = "segreto"},
        {.id = "rossi", .password = "segreto", .seen_password = ""},
    };
    EXPECT_EQ(user(true), std::nullopt);
    EXPECT_EQ(boxes_,
              (std::vector<std::string>{"Utente non abilitato.", "Password non corretta."}));
    EXPECT_EQ(util::ACS_USER, "ROSSI");
    // As the field holds it: padded to its width.
    EXPECT_EQ(util::ACS_PASSWD, "segreto" + std::string(kPasswordWidth - 7, ' '));
    EXPECT_EQ(util::ACS_LEVEL, 3);
}

TEST_F(LoginTest, ASharedSettingsFileMakesEveryLoginAnonymous) {
    memory_variables().set("USR_COLOR", 3.0);
    std::ofstream(work_.path() / "USER.USR");  // empty: filled at the first login
    answers_ = {};
    EXPECT_EQ(user(true), std::nullopt);
    EXPECT_GT(fs::file_size(work_.path() / "USER.USR"), 32u);
    EXPECT_EQ(util::ACS_USER, "USER");
    EXPECT_EQ(SETUSER().front(), '\x7f');
}

}  // namespace
}  // namespace kv::db
