#pragma once
// The three standard colours the windows give their controls, mapped onto the palette, and the
// placement of the fixed-size windows.

class QWidget;

// Window: an editable field (Base of the application palette); BtnFace: a locked field (Button);
// Light3D: a switched-off group and its fields (Midlight).
enum class ControlColour { Window, BtnFace, Light3D };

// Edits and combo boxes take the colour as their field background; group boxes and panels as their
// own background.
void SetControlColour(QWidget* w, ControlColour colour);

// Enables or disables a combo box and gives it the matching colour (window or button face).
void SetComboEnabled(QWidget* combo, bool enabled);

// Switches an SMS number group and its two number fields on or off, with their colours.
void SetSmsGroupEnabled(QWidget* group, QWidget* number1, QWidget* number2, bool on);

// Locks the window at the size its layout asks for and centres it on its screen.
void FixSizeAndCentre(QWidget* window);
