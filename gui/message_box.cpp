#include "gui/message_box.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <vector>

#include "gui/run_mode.h"
#include "gui/text.h"
#include "platform/codepages.h"
#include "platform/keystate.h"

namespace kv::gui {
namespace {

BoxAnswerer answerer;
BoxAnswerer fallback_answerer;

struct ButtonSpec {
    QMessageBox::StandardButton button;
    int code;
};

std::vector<ButtonSpec> buttons_of(BoxButtons buttons) {
    switch (buttons) {
        case BoxButtons::Ok:
            return {{QMessageBox::Ok, IDOK}};
        case BoxButtons::OkCancel:
            return {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
        case BoxButtons::YesNoCancel:
            return {{QMessageBox::Yes, IDYES},
                    {QMessageBox::No, IDNO},
                    {QMessageBox::Cancel, IDCANCEL}};
        case BoxButtons::YesNo:
            return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
    }
    return {};
}

QMessageBox::Icon icon_of(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Information:
            return QMessageBox::Information;
        case BoxIcon::Question:
            return QMessageBox::Question;
        case BoxIcon::Stop:
            return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

// The answer of Esc or a close: Cancel where there is one, else the last button (No, or OK).
int escape_answer(const std::vector<ButtonSpec>& specs) {
    for (const auto& s : specs)
        if (s.code == IDCANCEL) return IDCANCEL;
    return specs.back().code;
}

int headless_box(const BoxRequest& request) {
    std::fprintf(stderr, "%s: %s\n", platform::ansi_to_utf8(request.title).c_str(),
                 platform::ansi_to_utf8(request.text).c_str());
    if (!request.details.empty())
        std::fprintf(stderr, "%s\n", platform::ansi_to_utf8(request.details).c_str());
    std::fflush(stderr);
    return default_answer(request);
}

}  // namespace

int default_answer(const BoxRequest& request) {
    auto specs = buttons_of(request.buttons);
    std::size_t index = static_cast<std::size_t>(request.default_button - 1);
    return specs.at(index < specs.size() ? index : 0).code;
}

int show_message_box(const BoxRequest& request) {
    // Once the program is ending, nobody is waited for: the box says its text on standard error.
    if (is_headless() || !qobject_cast<QApplication*>(QCoreApplication::instance()) ||
        platform::termination_requested())
        return headless_box(request);
    const auto specs = buttons_of(request.buttons);
    QMessageBox box(icon_of(request.icon), from_ansi(request.title), from_ansi(request.text),
                    QMessageBox::NoButton, QApplication::activeWindow());
    for (std::size_t i = 0; i < specs.size(); ++i) {
        auto* b = box.addButton(specs[i].button);
        if (static_cast<int>(i) + 1 == request.default_button) box.setDefaultButton(b);
    }
    QAbstractButton* extra = nullptr;
    if (!request.extra_button.empty())
        extra = box.addButton(from_ansi(request.extra_button), QMessageBox::ActionRole);
    box.setEscapeButton(box.button(specs.back().button));
    if (!request.details.empty()) box.setDetailedText(from_ansi(request.details));
    if (answerer || fallback_answerer) {
        QTimer::singleShot(
            0, &box, [&box, &request] { (answerer ? answerer : fallback_answerer)(box, request); });
    }
    box.exec();
    auto* clicked = box.clickedButton();
    if (extra && clicked == extra) return kExtraButton;
    for (const auto& s : specs)
        if (clicked && clicked == box.button(s.button)) return s.code;
    return escape_answer(specs);
}

void set_box_answerer(BoxAnswerer a) {
    answerer = std::move(a);
}
ScopedBoxAnswerer::ScopedBoxAnswerer(BoxAnswerer a) : previous_(std::move(answerer)) {
    answerer = std::move(a);
}

ScopedBoxAnswerer::~ScopedBoxAnswerer() {
    answerer = std::move(previous_);
}

void set_fallback_box_answerer(BoxAnswerer a) {
    fallback_answerer = std::move(a);
}

void beep() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) QApplication::beep();
}

}  // namespace kv::gui
