#pragma once
// A combo box that a screen reader names by its label (its accessible name) and reads its
// current text as the value. The toolkit's own combo box names itself by that text on Linux,
// so a box whose text is empty, or just a choice, says nothing about what it asks for.
#include <QComboBox>

class CNamedComboBox : public QComboBox {
  Q_OBJECT
 public:
  explicit CNamedComboBox(QWidget* parent = nullptr);
};
