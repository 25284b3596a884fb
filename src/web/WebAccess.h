#pragma once
// TWebAccess, "Automatic software update": checks the update site when it opens,
// and on "Update" downloads, unpacks and installs the newest version, then starts
// the restart script and closes the main window. Shown modally; frees itself
// when closed. The work itself is in update_steps.h.
#include <QDialog>
#include <functional>
#include <string>

#include "ui_WebAccess.h"

class TWebAccess : public QDialog, public Ui::TWebAccess {
    Q_OBJECT
public:
    // `closeMainWindow` ends the program once the restart script runs.
    explicit TWebAccess(QWidget* parent = nullptr, std::function<void()> closeMainWindow = {});

    void FormCreate();
    bool CheckNewestVersion();
    void Button1Click();  // Update
    void Button2Click();  // Cancel / Close
    void Button3Click();  // check and update in one go, with the folder lines

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void AddLine(const std::string& line);
    void Install(const std::string& newest, bool folderLines);

    std::function<void()> closeMainWindow_;
    std::string newest_;
    bool busy_ = false;  // a download or copy is under way: the window stays
};
