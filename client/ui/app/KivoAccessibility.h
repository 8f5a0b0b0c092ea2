#pragma once
// What a screen reader (AT-SPI on Linux) learns about the main window's owner-drawn parts:
// a widget with the property "orvAccessibleRole" (a QAccessible::Role) reports that role
// with its accessible name, and a link among them can be pressed (a click at its centre); an
// image tab strip reports one page tab per tab, named from its property "orvTabNames" (or the
// tab's text), with the selected one and the one the keyboard is on marked, each pressable;
// the main window is a frame.
void InstallKivoAccessibility();

class QWidget;
// Makes a link drawn by the window (a widget with the link role) a keyboard stop: Tab reaches
// it, Return, Enter and Space follow it as a click at its centre would, and the focus shows as
// the skin's dotted mark around it.
void MakeKeyboardLink(QWidget* link);
