#pragma once
// Return and Enter press a focused push button, as Space does, as the skinned buttons and the
// tiles do. The button does not become a default button: Return typed in a text field of the
// same window still presses nothing.
class QAbstractButton;

void PressOnReturn(QAbstractButton* button);
