#pragma once
// Texts that a window shows in the language of the windows (Italian), written in English in the
// code. Qt code marks them with tr(); code below the window layer, which knows no Qt, with
//     platform::translated("Context", "serial port (%1, UART type %2)").arg(port).arg(type)
// (keep that form: the context and the text as literals, straight after the qualified name, so
// that lupdate finds them; scripts/translations.sh gathers them into data/kv32_it.ts).
// The window layer installs the translation for windowed runs; elsewhere (the command line, a
// headless run, its log) the English text stands.
#include <string>

namespace kv::platform {

// A text in the language in force, with its places %1 to %9 still to fill.
class Text {
  public:
    explicit Text(std::string text) : text_(std::move(text)) {}
    // Fills the lowest-numbered place left, as QString::arg does.
    Text& arg(const std::string& value);
    Text& arg(long long value) { return arg(std::to_string(value)); }
    const std::string& str() const { return text_; }
    operator std::string() const { return text_; }  // NOLINT: a text is used where a string is

  private:
    std::string text_;
};

// Looks a text up; Windows-1252 bytes in and out, as every program text.
using Translator = std::string (*)(const char* context, const char* source);
void set_translator(Translator translator);

Text translated(const char* context, const char* source);

// strerror's text for an error number, in the language in force for the common ones.
std::string system_error_text(int error);

}  // namespace kv::platform
