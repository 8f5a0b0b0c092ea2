#pragma once
#include <QRect>
#include <QString>

// One tab of a CXTabCtrl.
struct CXTabInfo {
  QString text;
  int image = -1;  // index into the strip's image list, -1 for a text tab
  int width = 0;   // copied from the strip's item width
  int id = 0;
  QRect rect;  // empty until laid out
};
