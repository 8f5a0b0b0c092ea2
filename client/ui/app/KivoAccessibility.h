#pragma once
// What a screen reader (AT-SPI on Linux) learns about the main window's owner-drawn parts:
// a widget with the property "orvAccessibleRole" (a QAccessible::Role) reports that role
// with its accessible name, and a link among them can be pressed (a click at its centre); an
// image tab strip reports one page tab per tab, named from its property "orvTabNames" (or the
// tab's text), with the selected one marked.
void InstallKivoAccessibility();
