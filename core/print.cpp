// "P": the device sends one line of text per command. The lines of a document are collected on
// the pages of a print job that lives from the first printable line to the end-of-text line; then
// the preview shows them, or, headless, they go to a printer or a PDF file.
#include "core/print.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "core/handler_support.h"
#include "core/handlers.h"
#include "core/log.h"
#include "gui/run_mode.h"
#include "platform/files.h"
#include "printing/font.h"
#include "printing/page_output.h"
#include "printing/print_text.h"
#include "printing/printer.h"
#include "printing/printers.h"

namespace kv::core {
namespace {

constexpr char kFormFeed = '\x0c';
constexpr char kEndOfText = '\x03';
constexpr const char* kDocument = "KV Project";

struct PrintJob {
    std::unique_ptr<printing::TPrinter> printer;
    std::unique_ptr<printing::TFont> font;
    std::size_t reported_failures = 0;
};

std::unique_ptr<PrintJob> job;
PrintDestination destination;

// True when a line shows anything on paper: a character other than blanks and control codes.
bool has_printing_characters(const std::string& line) {
    return std::any_of(line.begin(), line.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b > 0x20 && b != 0x7F;
    });
}

std::string pages_text(int pages) {
    return std::to_string(pages) + (pages == 1 ? " page" : " pages");
}

void open_job() {
    job = std::make_unique<PrintJob>();
    printing::PrinterOptions options;
    options.document = kDocument;
    options.preview = true;
    options.record_without_printer = true;
    if (gui::is_headless()) {
        options.printer = destination.printer;
        // PDF files alone are wanted: the pages are laid out on the PDF's own page.
        options.fallback_page_only = !destination.printer && destination.folder;
    }
    job->printer = std::make_unique<printing::TPrinter>(options);
    job->font = std::make_unique<printing::TFont>("Courier New", 0, 10, *job->printer);
    job->printer->StartPage();
}

// Page files that could not be written go to the log once each.
void report_failures() {
    const auto& failed = job->printer->unwritten_pages();
    for (; job->reported_failures < failed.size(); ++job->reported_failures)
        log_line("Cannot write the page file " + failed[job->reported_failures] +
                 " (is the disk full?): the page is kept in memory");
}

void end_page() {
    job->printer->EndPage();
    printing::SETPROW(0);
    report_failures();
}

void form_feed() {
    end_page();
    job->printer->StartPage();
}

// Pages whose files could not be read back are named once per destination that left them out.
void report_lost(const printing::PrintResult& result) {
    if (!result.lost.empty()) log_line(printing::lost_pages_text(result.lost));
}

// Each destination says why it did not take the document; the last reason is kept.
bool print_on(const std::string& name, const printing::TPrinter& device, std::string& why) {
    auto target = printing::printers().open(name);
    if (!target) {
        why = "printer " + name + " is not available";
        log_line("Printer " + name + " is not available");
        return false;
    }
    const auto result = printing::print_pages(
        device, printing::print_order(1, static_cast<int>(device.aMeta.size()), 1), *target);
    report_lost(result);
    if (!result.ok) {
        why = "printing on " + name + " failed: " + result.error;
        log_line("Printing on " + name + " failed: " + result.error);
        return false;
    }
    log_line("Printed " + pages_text(result.pages) + " to printer " + name);
    return true;
}

bool save_pdf_in(const std::string& folder, const printing::TPrinter& device, std::string& why) {
    const std::string file = printing::dated_pdf_name(folder, kDocument);
    const auto result = printing::write_pdf(device, file);
    report_lost(result);
    if (!result.ok) {
        why = "cannot write " + file + ": " + result.error;
        log_line("Cannot write " + file + ": " + result.error);
        return false;
    }
    // Named only now that the whole document is there.
    log_line("Printed " + pages_text(result.pages) + " to " + file);
    return true;
}

// Headless: the document goes to the first of these that takes it.
void deliver(const printing::TPrinter& device) {
    if (device.aMeta.empty()) {
        log_line("Nothing to print: the document has no pages");
        return;
    }
    std::string why;
    if (destination.printer && print_on(*destination.printer, device, why)) return;
    if (destination.folder && save_pdf_in(*destination.folder, device, why)) return;
    const std::string default_printer = printing::choose_default_printer().name;
    if (!default_printer.empty() && print_on(default_printer, device, why)) return;
    // The log names the file with its whole path: the device may change the current folder.
    std::error_code ec;
    const auto here = std::filesystem::current_path(ec);
    if (save_pdf_in(ec ? "." : here.string(), device, why)) return;
    log_line("The document was not printed: " + why);
}

void end_of_text() {
    end_page();
    log_outcome("end of the document: " + pages_text(static_cast<int>(job->printer->aMeta.size())));
    if (gui::is_headless()) {
        job->printer->CloseWnd();
        deliver(*job->printer);
        job->printer->End();
    } else {
        job->printer->Preview();
        job->printer->End();  // when the preview did not run (no pages), the job still ends
    }
    job->font->End();
    job.reset();
}

}  // namespace

void set_print_destination(const PrintDestination& d) {
    destination = d;
}

bool end_print_job() {
    if (!job) return false;
    job->printer->End();
    job.reset();
    return true;
}

// A line prints on one row of the page: bytes this far out could never reach the paper, and are
// read and dropped rather than kept.
constexpr std::size_t kLongestPrintedLine = 4096;

void PRINT_(int port) {
    const std::string line = WAITSTRING(kLongestPrintedLine);
    abandon_if_esc_interrupted(port, "The line to print");
    send_ok(port);
    if (!line.empty() && line[0] == kFormFeed) {
        if (!job) return log_outcome("form feed: no document is open, nothing to do");
        form_feed();
        return log_outcome("form feed: page " + std::to_string(job->printer->nPage) + " begun");
    }
    if (!line.empty() && line[0] == kEndOfText) {
        if (!job) return log_outcome("end of text: no document is open, nothing to do");
        return end_of_text();
    }
    const bool first = !job;
    if (!job) open_job();
    // A line below the last row would be lost: it begins a new page instead. Blank lines there
    // only advance the row, so that a device's trailing empty lines make no empty page.
    if (has_printing_characters(line) && !printing::next_line_fits(*job->printer)) form_feed();
    printing::TextOptions options;
    options.font = job->font.get();
    printing::PRINTTXT({line}, *job->printer, options);
    log_outcome(std::string(first ? "a new document: " : "") + "line printed on page " +
                std::to_string(job->printer->nPage));
}

std::vector<std::string> print_destination_warnings() {
    std::vector<std::string> warnings;
    if (destination.printer) {
        const auto names = printing::printers().names();
        if (std::find(names.begin(), names.end(), *destination.printer) == names.end()) {
            std::string known;
            for (const auto& name : names) known += (known.empty() ? "" : ", ") + name;
            warnings.push_back(
                "Warning: there is no printer " + *destination.printer + " (" +
                (names.empty() ? "no printer is installed" : "the printers here: " + known) +
                "); documents go to the next place that takes them.");
        }
    }
    if (destination.folder && !platform::folder_takes_new_files(*destination.folder))
        warnings.push_back("Warning: no PDF file can be written in " + *destination.folder + " (" +
                           platform::file_error_text(platform::last_file_error()) +
                           "); documents go to the next place that takes them.");
    return warnings;
}

}  // namespace kv::core
