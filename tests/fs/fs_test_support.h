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
    BoxRecorder()
        : answerer_([this](QMessageBox& box, const gui::BoxRequest& request) {
              texts.push_back(request.text);
              box.button(QMessageBox::Ok)->click();
          }) {}

    std::vector<std::string> texts;

  private:
    gui::ScopedBoxAnswerer answerer_;
};

}  // namespace kv::fs::test
