#pragma once
// The settings routines as the main window and the other windows call them. Each
// takes the main window's current controls and variables, runs one transaction on
// the program's settings file (settings_file.h) and gives the values back to the
// window. None of them shows anything: the caller passes the statuses of one
// operation to ReportSettingsFailure, so that the user is told once.
#include <initializer_list>

#include "measure/settings_file.h"

class TPlatform;

bool IniExists();
[[nodiscard]] SettingsStatus LoadSettings();
[[nodiscard]] SettingsStatus WriteDefaultSettings();
[[nodiscard]] SettingsStatus SaveCurrentSettings();
[[nodiscard]] SettingsStatus SaveDialogSettings(const SettingsDialogTicks& ticks);
[[nodiscard]] SettingsStatus SaveLatestPaths();
// The start-up step: the default values when there is no file, then the file.
[[nodiscard]] SettingsStatus StartupSettings();
// The re-read after a video was opened (after SaveLatestPaths).
[[nodiscard]] SettingsStatus ReloadSettingsAfterVideoOpen();

// Shows the first failure among the statuses of one operation in an error box.
void ReportSettingsFailure(std::initializer_list<SettingsStatus> statuses);

// The main window's side of the routines.
SettingsValues GatherSettings(const TPlatform& p);
void ApplySettings(TPlatform& p, const SettingsValues& v);
