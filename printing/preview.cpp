#include "printing/preview.h"

#include "printing/preview_window.h"
#include "printing/printer.h"
#include "printing/progress_dialog.h"

namespace kv::printing {
namespace {

PreviewRunner installed_runner;

}  // namespace

void set_preview_runner(PreviewRunner runner) {
    installed_runner = std::move(runner);
}

void run_preview(TPrinter& device, bool no_print) {
    if (installed_runner) {
        installed_runner(device, no_print);
        return;
    }
    if (can_show_windows()) {
        TPreview::New(device, no_print);
    } else {
        device.End();
    }
}

}  // namespace kv::printing
