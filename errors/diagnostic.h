#pragma once
// The handler's texts: the composed diagnostic, the question of the report and the address of
// the report mail.
#include <string>

#include "errors/stack_walk.h"
#include "util/error_record.h"

namespace kv::errors {

// The diagnostic of an error raised where `where` says ("Function: N  Line: L").
std::string compose_diagnostic(const util::ErrorRecord& error, const SourcePlace& where);

// The diagnostic of an error raised by the caller: the place is the nearest application frame,
// or the place that a RaisedAt in force names.
std::string ERRORMESSAGE(const util::ErrorRecord& error);

// Names the place where the error being reported was raised, for as long as it lives (an
// exception reported far from its throw).
class RaisedAt {
  public:
    explicit RaisedAt(SourcePlace place);
    ~RaisedAt();
    RaisedAt(const RaisedAt&) = delete;
    RaisedAt& operator=(const RaisedAt&) = delete;

  private:
    const SourcePlace* previous_;
    SourcePlace place_;
};

// The text of rules 1 to 9 for an error (X is its file name in upper case); empty when none of
// them applies.
std::string disk_failure_text(const util::ErrorRecord& error);

// The question that offers to mail a diagnostic.
std::string report_question(const std::string& diagnostic);

// "mailto:?subject=Rapporto di errore&body=Applicazione: " + program + two line breaks + the
// diagnostic, with "&" as "%26" and ";" as "%0d%0a"; nothing else is escaped.
std::string report_address(const std::string& diagnostic, const std::string& program_path);

// The full path of the program's executable file, at most 248 characters.
std::string program_path();

}  // namespace kv::errors
