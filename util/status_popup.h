#pragma once
// The non-modal status pop-up. Its full behaviour comes with the dialog helpers; message boxes
// already close it before they appear.
namespace kv::util {

// Closes the status pop-up when one is up.
void close_status_popup();

}  // namespace kv::util
