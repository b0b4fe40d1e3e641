#pragma once
// Records the information boxes that the file-system helpers show, and answers them.
#include <QAbstractButton>
#include <QMessageBox>

#include <string>
#include <vector>

#include "gui/message_box.h"

namespace kv::fs::test {

class BoxRecorder {
  public:
    BoxRecorder() {
        gui::set_box_answerer([this](QMessageBox& box, const gui::BoxRequest& request) {
            texts.push_back(request.text);
            box.button(QMessageBox::Ok)->click();
        });
    }
    ~BoxRecorder() { gui::set_box_answerer(nullptr); }
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    std::vector<std::string> texts;
};

}  // namespace kv::fs::test
