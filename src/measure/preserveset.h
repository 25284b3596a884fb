#pragma once
// The settings routines as the main window and the other windows call them. Each
// takes the main window's current controls and variables, runs one transaction on
// the program's settings file (settings_file.h) and gives the values back to the
// window. None of them shows anything: the caller passes the statuses of one
// operation to ReportSettingsFailure, so that the user is told once.
#include <QDialog>
#include <initializer_list>

#include "measure/settings_file.h"
#include "ui_preserveset.h"

class TPlatform;

bool IniExists();
[[nodiscard]] SettingsStatus LoadSettings();
[[nodiscard]] SettingsStatus WriteDefaultSettings();
[[nodiscard]] SettingsStatus SaveCurrentSettings();
[[nodiscard]] SettingsStatus SaveDialogSettings(const SettingsDialogTicks& ticks);
[[nodiscard]] SettingsStatus SaveLatestPaths();
// One page of the settings dialog (its "Save" button).
[[nodiscard]] SettingsStatus SavePageSettings(const SettingsDialogTicks& ticks, SettingsPage page);
// The start-up step: the default values when there is no file, then the file.
[[nodiscard]] SettingsStatus StartupSettings();
// The re-read after a video was opened (after SaveLatestPaths).
[[nodiscard]] SettingsStatus ReloadSettingsAfterVideoOpen();

// Shows the first failure among the statuses of one operation in an error box.
void ReportSettingsFailure(std::initializer_list<SettingsStatus> statuses);

// The main window's side of the routines.
SettingsValues GatherSettings(const TPlatform& p);
void ApplySettings(TPlatform& p, const SettingsValues& v);

// "Update Setting Items": chooses which of the main window's settings are written
// to the settings file, switches the reader and the time inserter at once, and
// restores the defaults. Shown modally through the dialog service; frees itself
// when closed.
class TPreserveSetting : public QDialog, public Ui::TPreserveSetting {
    Q_OBJECT
public:
    explicit TPreserveSetting(TPlatform& owner);
    ~TPreserveSetting() override;

    void FormCreate();
    // The dialog's own boxes and its "save this item" ticks.
    SettingsDialogTicks Ticks() const;

    void Button1Click();  // Update.INI file
    void Button3Click();  // Default
    void SavePage(SettingsPage page);
    void RadioButton1Click();
    void RadioButton2Click();
    void RadioButton3Click();
    void RadioButton4Click();
    void RadioButton5Click();
    void CheckBox19Click();

private:
    void SelectReader(bool directShow);
    TPlatform& platform_;
};

// The open settings dialog (null when none is open).
extern TPreserveSetting* PreserveSetting;
