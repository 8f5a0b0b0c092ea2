#pragma once
// What the diagnosis page shows for a check's outcome: the row label (the check's name,
// with a detail text appended where the outcome has one), the result text and the row
// icon state.
#include <string>

// Row icon states.
enum DiagnosisRowOutcome { kRowNotChecked = 0, kRowPassed = 1, kRowWarning = 2, kRowFailed = 3 };

struct DiagnosisRow {
  std::string label;
  std::string resultText;
  int rowOutcome = kRowNotChecked;
};

// Name of check 1 to 8 as the row shows it before a run; "" for another number.
std::string DiagnosisCheckName(int check);

// The row for an outcome of check 1 to 8.
DiagnosisRow DiagnosisRowFor(int check, int outcome);
