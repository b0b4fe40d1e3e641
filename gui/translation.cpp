#include "gui/translation.h"

#include "gui/text.h"
#include "platform/texts.h"

namespace kv::gui {
namespace {

constexpr const char* kProgramTexts = ":/kv32/i18n/kv32_it.qm";

// Program texts are Windows-1252 bytes; the translation is Unicode.
std::string translate_bytes(const char* context, const char* source) {
    return to_ansi(QCoreApplication::translate(context, source));
}

}  // namespace

QTranslator* install_program_translation(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    if (!translator->load(QString::fromLatin1(kProgramTexts))) {
        delete translator;
        return nullptr;
    }
    QCoreApplication::installTranslator(translator);
    platform::set_translator(translate_bytes);
    return translator;
}

void remove_program_translation(QTranslator* translator) {
    platform::set_translator(nullptr);
    if (!translator) return;
    QCoreApplication::removeTranslator(translator);
    delete translator;
}

}  // namespace kv::gui
