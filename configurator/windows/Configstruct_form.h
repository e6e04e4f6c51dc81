#pragma once
// Moves the user's settings between the main settings window and the configuration record.
// The controls are read and written on the GUI thread only; a caller on another thread waits.

#include "config_collect.h"
#include "Configstruct.h"

// The window's values as they stand.
FormSnapshot TakeFormSnapshot();

// The record as the window holds it (CollectConfig): the rings, DTR and bearer keys are plain
// numbers while SavingToFile is 1 and AT commands otherwise.
ConfigRecord CollectFormRecord();

// Fills ConfigLines from the window, then clears SavingToFile.
void CollectConfigFromForm();

// Sets the window's controls from a parsed record (values without line ends). Each tick and text
// change runs the window's own reaction, in the order of the record's keys.
void ApplyConfigToForm(const ConfigRecord& record);

// Makes every parsed configuration text (file or modem report) go into the main settings window,
// together with its count of empty values (EmptyValueCount).
void InstallConfigFormHook();
