// A named combo box reads to a screen reader as its label, with its text as the value.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QLineEdit>

#include "controls/CNamedComboBox.h"

TEST(NamedComboBox, NamedByItsLabelWithItsTextAsTheValue) {
  struct Case {
    bool editable;
    QString text;
  };
  const Case cases[] = {
      {true, QString()}, {true, QStringLiteral("demo")}, {false, QStringLiteral("咨询")}};
  for (const Case& c : cases) {
    CNamedComboBox combo;
    combo.setEditable(c.editable);
    combo.addItems({QStringLiteral("咨询"), QStringLiteral("投诉")});
    if (c.editable) combo.lineEdit()->setText(c.text);
    combo.setAccessibleName(QStringLiteral("类型"));
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(&combo);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->role(), QAccessible::ComboBox);
    EXPECT_EQ(face->text(QAccessible::Name), QStringLiteral("类型"));
    EXPECT_EQ(face->text(QAccessible::Value), c.text);
    EXPECT_EQ(face->childCount(), c.editable ? 2 : 1);
    EXPECT_NE(face->child(0), nullptr);
  }
}
