#pragma once
// The widget tests' answerer of the product's message boxes (shell::SetMessageBoxes): it
// records every box (title, text, buttons) and answers it in place of the user. The test
// mains set one at start, so no box ever waits for a user; a test makes its own to choose
// the answers, which takes over while it lives.
#include <QLabel>
#include <QString>

#include <functional>
#include <vector>

#include "client/ui/shell/MessageBoxes.h"
#include "controls/CMessageBoxDialog.h"

namespace orvtest {

struct ShownBox {
  QString title;
  QString text;
  std::vector<int> ids;
  std::vector<QString> labels;
};

class BoxAnswers : public shell::IMessageBoxes {
 public:
  BoxAnswers() : m_previous(shell::SetMessageBoxes(this)) {}
  ~BoxAnswers() override { shell::SetMessageBoxes(m_previous); }
  BoxAnswers(const BoxAnswers&) = delete;
  BoxAnswers& operator=(const BoxAnswers&) = delete;

  // Answers with `onBox` when set, else the next queued id, else `fallback` when set, else
  // the box's cancel id, else its default id.
  int Answer(CMessageBoxDialog& box) override {
    ShownBox shown{box.windowTitle(), {}, box.ButtonIds(), {}};
    for (QLabel* label : box.findChildren<QLabel*>())
      if (!label->text().isEmpty()) shown.text = label->text();
    for (int id : box.ButtonIds()) shown.labels.push_back(box.ButtonText(id));
    shown_boxes.push_back(shown);
    if (onBox) return onBox(box);
    if (!answers.empty()) {
      const int id = answers.front();
      answers.erase(answers.begin());
      return id;
    }
    if (fallback > 0) return fallback;
    return box.CancelId() > 0 ? box.CancelId() : box.DefaultId();
  }

  std::vector<int> answers;
  int fallback = 0;
  std::function<int(CMessageBoxDialog&)> onBox;
  std::vector<ShownBox> shown_boxes;

 private:
  shell::IMessageBoxes* m_previous;
};

}  // namespace orvtest
