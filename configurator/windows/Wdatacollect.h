#pragma once
// The binding between the windows' controls and the value codes of the configuration record:
// one converter per coded setting in each direction, the two text functions, the copy of the
// wizard's answers into the main settings window and the reset of the wizard.
//
// The window-to-code converters read the main settings window (Fmainset); the code-to-window
// setters write it. Both run on the GUI thread.

#include "config_collect.h"

#include <QString>

#include <string>
#include <string_view>

class QComboBox;

// 1 when the upper-cased text contains "YES", else 2 when it contains "NO", else 0.
int YesNoTextToCode(std::string_view text);

// Window to code.
int BandCodeFromForm();
int BaudTextToCode(const QString& text);
int DataBitsTextToCode(const QString& text);
int StopBitsTextToCode(const QString& text);
int ParityTextToCode(const QString& text);
int FlowTextToCode(const QString& text);
int SmsInEncodingFromForm();
int SmsOutEncodingFromForm();
int RingsFromForm();
int DtrDropFromForm();
int BearerFromForm();

// Code to window: each takes the record's value text.
void SetBandFromValue(const std::string& v);
void SetPinFromValue(const std::string& v);
void SetBaudFromValue(const std::string& v);
void SetDataBitsFromValue(const std::string& v);
void SetStopBitsParityFromValue(const std::string& stop, const std::string& parity);
void SetFlowFromValue(const std::string& v);
void SetEchoFromValue(const std::string& v);
void SetSmsInEncodingFromValue(const std::string& v);
void SetSmsOutEncodingFromValue(const std::string& v);
void SetRingsFromValue(const std::string& v);
void SetDtrDropFromValue(const std::string& v);
void SetBearerFromValue(const std::string& v);

// Whole windows.
void CopyWizardToMainForm();
void ResetWizard();

// Two stop bits go with no parity: the user's choice in a stop-bits box locks the parity box at
// "None" for "2" and frees it otherwise. Every window with both boxes uses it.
void ApplyTwoStopBitsRule(QComboBox* stopBits, QComboBox* parity);
// The same lock as set by code: parity "None", disabled, button-face colour.
void LockParityAtNone(QComboBox* parity);
