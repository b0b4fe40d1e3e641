#pragma once
// Modal message boxes and the key-state test.
#include <optional>
#include <string>

#include "util/status_popup.h"

namespace kv::util {

// Closes the status pop-up when one is up, then shows a modal box of the given type (1..6) with
// text and title (default "Attenzione").
// Text bytes are Windows-1252; a text holding any byte 0x81..0xA8 is first taken as code page 850
// and converted; every ";" becomes a line break. Types 2..6 beep first.
// Result: nothing for type 1 and for a type outside 1..6 (which shows nothing); for types 2, 4, 5
// and 6, 1 when OK or Yes was pressed and 0 otherwise; for type 3 the button code 6 (Yes), 7 (No)
// or 2 (Cancel).
std::optional<int> POPMSG(const std::string& text, int type,
                          const std::optional<std::string>& title = std::nullopt);

// POPMSG with more about the message (the cause and the remedy) as the box's details; headless,
// they follow the text on standard error.
std::optional<int> popmsg_with_details(const std::string& text, int type,
                                       const std::string& details);

// A type 1 box with details and a button of the program's own beside OK ("Impostazioni...");
// true when that button was pressed (never headless).
bool popmsg_offering(const std::string& text, const std::string& details,
                     const std::string& button);

// True while the key with this Windows virtual-key code is held down.
bool GETASYNCKEYSTATE(int vk);

// The text a box shows: code page 850 converted when a byte lies in 0x81..0xA8, ";" as CR LF.
std::string message_text(const std::string& text);

}  // namespace kv::util
