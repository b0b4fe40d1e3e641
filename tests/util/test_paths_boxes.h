#pragma once
// Answers every message box with its first button and keeps the texts shown, in order, so that
// tests can check what the user was told (and that nothing blocks on a box).
#include <QAbstractButton>
#include <QMessageBox>
#include <string>
#include <vector>

#include "gui/message_box.h"

namespace kv::test {

class BoxRecorder {
  public:
    explicit BoxRecorder(std::vector<std::string>& events)
        : answerer_([&events](QMessageBox& box, const gui::BoxRequest& request) {
              events.push_back(request.text);
              box.buttons().front()->click();
          }) {}

  private:
    gui::ScopedBoxAnswerer answerer_;
};

}  // namespace kv::test
