#pragma once
// The login dialogs: UTENTE asks for the user id, UTENTE2 for the user id and the password.
// Caption "Utente"; the id field turns what is typed to upper case; the password field shows no
// typed characters; "&Conferma" (201) closes with 1, "&Annulla" (202) with 2, Esc and the close
// box with 0. Modal and centred over the active window.
#include <functional>
#include <string>

class QDialog;

namespace kv::gui {

struct LoginDialogFields {
    bool with_password = false;
    int id_width = 8;
    int password_width = 10;
    std::string id;
    std::string password;
};

// Shows the dialog over the fields (they keep what was typed) and returns its result.
// Headless: nothing is shown and the result is 0.
int show_login_dialog(LoginDialogFields& fields);

// Tests answer the dialog through an answerer, called once it is on screen.
void set_login_dialog_answerer(std::function<void(QDialog& dialog)> answerer);

// Installs an answerer for the length of a scope and puts the one before it back.
class ScopedLoginDialogAnswerer {
  public:
    explicit ScopedLoginDialogAnswerer(std::function<void(QDialog& dialog)> answerer);
    ~ScopedLoginDialogAnswerer();
    ScopedLoginDialogAnswerer(const ScopedLoginDialogAnswerer&) = delete;
    ScopedLoginDialogAnswerer& operator=(const ScopedLoginDialogAnswerer&) = delete;

  private:
    std::function<void(QDialog& dialog)> previous_;
};

}  // namespace kv::gui
