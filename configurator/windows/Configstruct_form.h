#pragma once
// Moves the user's settings between the main settings window and the configuration record.
// Both operations may run on a worker thread: every control is read and written on the GUI thread
// while the caller waits.

#include "Configstruct.h"

// The record as the window holds it: each value ends CR LF, the last is empty. Keys 43 to 45 are
// plain numbers while SavingToFile is 1 and AT commands otherwise; SavingToFile is 0 afterwards.
ConfigRecord CollectFormRecord();

// Fills ConfigLines from the window.
void CollectConfigFromForm();

// Sets the window's controls from a parsed record (values without line ends). Each tick and text
// change runs the window's own reaction, in the order of the record's keys.
void ApplyConfigToForm(const ConfigRecord& record);

// Makes every parsed configuration text (file or modem report) go into the main settings window,
// together with its count of empty values (EmptyValueCount).
void InstallConfigFormHook();
