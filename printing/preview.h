#pragma once
// The print preview: a window that shows the pages a printer in preview mode recorded, pages
// through them, zooms, prints them on a printer of the user's choice and saves them as PDF.
#include <functional>

namespace kv::printing {

class TPrinter;

// Opens the preview of the device's pages and returns when the user has closed it; the device
// has then been ended (its page files deleted). `no_print` leaves printing out.
void run_preview(TPrinter& device, bool no_print);

// Tests put another preview in place (empty: the window).
using PreviewRunner = std::function<void(TPrinter& device, bool no_print)>;
// Puts another preview in place (empty: the window).
void set_preview_runner(PreviewRunner runner);

}  // namespace kv::printing
