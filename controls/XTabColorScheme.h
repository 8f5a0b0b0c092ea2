#pragma once
// Colours and fills of a CXTabCtrl. Every colour starts as none, every other member as 0.
#include "controls/XColor.h"

// How one tab state is filled.
struct XTabStyle {
  XColor fill = kXColorNone;  // none: the style paints nothing
  XColor text = kXColorNone;
  XColor border = kXColorNone;   // kept for the record; tabs are drawn without a border
  XColor fillEnd = kXColorNone;  // gradient end of the fill; none: solid
  int share = 0;                 // percent of the rectangle the fill covers (0 and 100: all)
  XColor fill2 = kXColorNone;    // fill of the remainder; none: remainder left as it is
  XColor fill2End = kXColorNone;
  int vertical = 0;  // gradients and the split run top to bottom
  int rounded = 0;   // clip to a rectangle with 2 x 2 corner ellipses
};

struct XTabColorScheme {
  XColor background = kXColorNone;  // strip where no tab is drawn; none: button face
  XColor text = kXColorNone;        // default text colour
  XColor extra = kXColorNone;
  XTabStyle normal;
  XTabStyle hot;
  XTabStyle selected;
};
