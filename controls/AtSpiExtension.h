#pragma once
// Fills two gaps of the toolkit's AT-SPI bridge without changing the toolkit:
//  - a page tab list offers the Selection interface (how many tabs are selected, which one,
//    and selecting a tab opens it as its press action would);
//  - an object with a value (a progress bar, a tile's download progress) lists only its own
//    actions, not the increase/decrease pair the bridge adds to every value, which would
//    do nothing on a value the user cannot set; one without actions of its own offers no
//    Action interface at all;
//  - a text field entered with Tab is said to have the focus before its text is selected.
// The bridge's object tree on the accessibility bus is wrapped: these calls are answered
// here and every other call is handed to the bridge unchanged. The bridge registers its tree
// only once a screen reader (or the environment) turns accessibility on, so the wrapping
// follows the toolkit's activation; without it nothing changes. On Windows only the field
// focus order applies.

// Starts the wrapping; later calls do nothing.
void ExtendAtSpiBridge();
