#pragma once
// The language of the windows. Every text a window shows is Italian: the texts of the
// description as they are, and the program's own texts (written in English in the code, marked
// with tr() or platform::translated) through the translation in data/kv32_it.ts, which the build
// compiles into the window layer. The command line, a headless run and its log speak English.
#include <QCoreApplication>
#include <QTranslator>

namespace kv::gui {

// Loads the program's Italian texts and hands them to the layers below (platform::translated).
// Returns the translator, owned by the application, or nullptr when the build has none.
QTranslator* install_program_translation(QCoreApplication& app);

// Takes the program's texts out again: English from then on (tests).
void remove_program_translation(QTranslator* translator);

}  // namespace kv::gui
