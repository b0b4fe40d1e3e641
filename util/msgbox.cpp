#include "util/msgbox.h"

#include <algorithm>

#include "gui/message_box.h"
#include "gui/pump.h"
#include "platform/codepages.h"
#include "platform/keystate.h"
#include "util/status_popup.h"

namespace kv::util {
namespace {

struct BoxType {
    bool beep;
    gui::BoxIcon icon;
    gui::BoxButtons buttons;
    int default_button;
};

// The six types: MB_ICONINFORMATION; MB_OKCANCEL|MB_ICONQUESTION; MB_YESNOCANCEL|MB_ICONQUESTION;
// MB_YESNO|MB_ICONQUESTION; the same with MB_DEFBUTTON2; MB_OKCANCEL|MB_ICONHAND.
std::optional<BoxType> box_type(int type) {
    using gui::BoxButtons;
    using gui::BoxIcon;
    switch (type) {
        case 1:
            return BoxType{false, BoxIcon::Information, BoxButtons::Ok, 1};
        case 2:
            return BoxType{true, BoxIcon::Question, BoxButtons::OkCancel, 1};
        case 3:
            return BoxType{true, BoxIcon::Question, BoxButtons::YesNoCancel, 1};
        case 4:
            return BoxType{true, BoxIcon::Question, BoxButtons::YesNo, 1};
        case 5:
            return BoxType{true, BoxIcon::Question, BoxButtons::YesNo, 2};
        case 6:
            return BoxType{true, BoxIcon::Stop, BoxButtons::OkCancel, 1};
        default:
            return std::nullopt;
    }
}

std::optional<int> result_of(int type, int button) {
    switch (type) {
        case 1:
            return std::nullopt;
        case 3:
            return button;
        default:
            return (button == gui::IDOK || button == gui::IDYES) ? 1 : 0;
    }
}

bool looks_like_oem(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        auto b = static_cast<unsigned char>(c);
        return b >= 0x81 && b <= 0xA8;
    });
}

}  // namespace

std::string message_text(const std::string& text) {
    std::string converted = looks_like_oem(text) ? platform::oem_to_ansi(text) : text;
    std::string out;
    out.reserve(converted.size());
    for (char c : converted) {
        if (c == ';')
            out += "\r\n";
        else
            out += c;
    }
    return out;
}

namespace {

// The button pressed (a Windows button code, or gui::kExtraButton); nothing for an unknown type.
std::optional<int> show_box_button(const std::string& text, int type,
                                   const std::optional<std::string>& title,
                                   const std::string& details, const std::string& extra = {}) {
    const std::string shown = message_text(text);
    close_status_popup();
    const auto kind = box_type(type);
    if (!kind) return std::nullopt;
    if (kind->beep) gui::beep();
    gui::BoxRequest request{title.value_or("Attenzione"), shown,   kind->icon, kind->buttons,
                            kind->default_button,         details, extra};
    const int button = gui::show_message_box(request);
    gui::SYSREFRESH();
    return button;
}

std::optional<int> show_box(const std::string& text, int type,
                            const std::optional<std::string>& title, const std::string& details) {
    const auto button = show_box_button(text, type, title, details);
    if (!button) return std::nullopt;
    return result_of(type, *button);
}

}  // namespace

std::optional<int> POPMSG(const std::string& text, int type,
                          const std::optional<std::string>& title) {
    return show_box(text, type, title, {});
}

std::optional<int> popmsg_with_details(const std::string& text, int type,
                                       const std::string& details) {
    return show_box(text, type, std::nullopt, details);
}

bool popmsg_offering(const std::string& text, const std::string& details,
                     const std::string& button) {
    return show_box_button(text, 1, std::nullopt, details, button) == gui::kExtraButton;
}

bool GETASYNCKEYSTATE(int vk) {
    return platform::key_is_down(vk);
}

}  // namespace kv::util
