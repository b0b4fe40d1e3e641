#pragma once
// The windows a user meets, each opened with realistic content so that its picture can be taken
// for the documentation. A shot opens its window, grabs it and closes it again.
#include <QImage>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace kv::shots {

struct Shot {
    std::string name;  // the picture's file name, without .png
    std::string what;  // what the window is, for --list
    std::function<QImage()> take;
};

// Every shot, in the order the documentation shows them.
const std::vector<Shot>& shots();
const Shot* find_shot(const std::string& name);

// The window as it is on screen, frame included where a window manager draws one; rendered by
// the window itself on a platform without a screen to read (offscreen).
QImage grab_window(QWidget& window);

// Runs `open`, which shows a modal window and returns once it has closed, and grabs that window
// while it is up (after `prepare`, when given, has set it up for the picture); it is then closed
// as Esc would close it. Message boxes are grabbed the same way.
QImage grab_modal(const std::function<void()>& open,
                  const std::function<void(QWidget& modal)>& prepare = {});

// The shots of the login, printing and message-box details windows, in their order.
const std::vector<Shot>& more_shots();
// The shots of the window of the device's files and its import dialog.
const std::vector<Shot>& file_shots();

}  // namespace kv::shots
