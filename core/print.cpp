// "P": the device sends one line of text per command. The lines of a document are collected on
// the pages of a print job that lives from the first printable line to the end-of-text line; then
// the preview shows them, or, headless, they go to a printer or a PDF file.
#include "core/print.h"

#include <memory>

#include "core/handler_support.h"
#include "core/handlers.h"
#include "core/log.h"
#include "gui/run_mode.h"
#include "printing/font.h"
#include "printing/page_output.h"
#include "printing/print_text.h"
#include "printing/printer.h"

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
                 " (is the disk full?): that page stays blank");
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

bool print_on(const std::string& name, const printing::TPrinter& device) {
    auto target = printing::printers().open(name);
    if (!target) {
        log_line("Printer " + name + " is not available");
        return false;
    }
    const auto result = printing::print_pages(
        device, printing::print_order(1, static_cast<int>(device.aMeta.size()), 1), *target);
    if (!result.ok) {
        log_line("Printing on " + name + " failed: " + result.error);
        return false;
    }
    log_line("Printed " + pages_text(result.pages) + " to printer " + name);
    return true;
}

bool save_pdf_in(const std::string& folder, const printing::TPrinter& device) {
    const std::string file = printing::dated_pdf_name(folder, kDocument);
    const auto result = printing::write_pdf(device, file);
    if (!result.ok) {
        log_line("Cannot write " + file + ": " + result.error);
        return false;
    }
    log_line("Printed " + pages_text(result.pages) + " to " + file);
    return true;
}

// Headless: the document goes to the first of these that takes it.
void deliver(const printing::TPrinter& device) {
    if (device.aMeta.empty()) {
        log_line("Nothing to print: the document has no pages");
        return;
    }
    if (destination.printer && print_on(*destination.printer, device)) return;
    if (destination.folder && save_pdf_in(*destination.folder, device)) return;
    const std::string default_printer = printing::printers().default_name();
    if (!default_printer.empty() && print_on(default_printer, device)) return;
    if (!save_pdf_in(".", device)) log_line("The document could not be printed anywhere");
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

void end_print_job() {
    if (!job) return;
    job->printer->End();
    job.reset();
}

void PRINT_(int port) {
    const std::string line = WAITSTRING();
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
    // A line below the last row would be lost: it begins a new page instead.
    if (!printing::next_line_fits(*job->printer)) form_feed();
    printing::TextOptions options;
    options.font = job->font.get();
    printing::PRINTTXT({line}, *job->printer, options);
    log_outcome(std::string(first ? "a new document: " : "") + "line printed on page " +
                std::to_string(job->printer->nPage));
}

}  // namespace kv::core
