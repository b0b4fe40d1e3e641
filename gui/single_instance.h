#pragma once
// One program at a time for a key (a settings file): the first claims it; a second finds it
// claimed and asks the first to come to the front.
#include <functional>
#include <string>

class QWidget;

namespace kv::gui {

// Brings a window to the front and gives it the keyboard; nothing for nullptr.
void bring_to_front(QWidget* window);

// True when this process now holds the key, for the rest of its run; `on_request` then runs on
// the window's thread each time another process asks for it. False when another process holds
// it: that process has been asked (on_request runs there).
bool claim_single_instance(const std::string& key, std::function<void()> on_request);

}  // namespace kv::gui
