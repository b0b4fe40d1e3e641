#include "errors/diagnostic.h"

#include <unistd.h>
#include <array>

#include "util/text.h"

namespace kv::errors {
namespace {

std::string replaced(const std::string& text, char from, const std::string& to) {
    std::string out;
    for (char c : text) {
        if (c == from)
            out += to;
        else
            out += c;
    }
    return out;
}

thread_local const SourcePlace* raised_at = nullptr;

}  // namespace

RaisedAt::RaisedAt(SourcePlace place) : previous_(raised_at), place_(std::move(place)) {
    raised_at = &place_;
}

RaisedAt::~RaisedAt() {
    raised_at = previous_;
}

std::string compose_diagnostic(const util::ErrorRecord& error, const SourcePlace& where) {
    std::string d = error.severity > 1 ? "Error " : "Warning ";
    d += error.subsystem.value_or("???");
    d += error.subcode ? "/" + std::to_string(*error.subcode) : "/???";
    if (error.description) d += "  " + *error.description;
    if (!error.filename.empty())
        d += ": " + error.filename;
    else if (!error.operation.empty())
        d += ": " + error.operation;
    d += ";Function: " + where.function + "  Line: " + std::to_string(where.line);
    return d;
}

std::string ERRORMESSAGE(const util::ErrorRecord& error) {
    return compose_diagnostic(error, raised_at ? *raised_at : nearest_source_place());
}

std::string disk_failure_text(const util::ErrorRecord& error) {
    const std::string x = util::ascii_upper(error.filename);
    switch (error.oscode) {
        case 21:
            return "Disco " + x + " non pronto.";
        case 27:
        case 31:
            return "Disco " + x + " non formattato.";
        case 19:
            return "Disco " + x + " protetto da scrittura.";
        case 82:
            return "Directory " + x + " piena.";
        default:
            break;
    }
    if (error.subcode == 2016) return "Spazio sul disco " + x + " insufficiente.";
    if (error.oscode == 5) return "Impossibile accedere al file " + x + ".";
    if (error.oscode == 3) return "Percorso " + x + " non trovato.";
    if (error.oscode == 2) return "Impossibile aprire il file " + x + ".";
    if (error.subcode == 1012 || error.gencode == 32) return "Il file " + x + " risulta corrotto.";
    return {};
}

std::string report_question(const std::string& diagnostic) {
    return diagnostic + ";;Inviare rapporto di errore via email?";
}

std::string report_address(const std::string& diagnostic, const std::string& program) {
    const std::string body = replaced(replaced(diagnostic, '&', "%26"), ';', "%0d%0a");
    return "mailto:?subject=Rapporto di errore&body=Applicazione: " + program + "%0d%0a%0d%0a" +
           body;
}

std::string program_path() {
    std::array<char, 4096> buffer{};
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) return {};
    return std::string(buffer.data(), static_cast<std::size_t>(n)).substr(0, 248);
}

}  // namespace kv::errors
