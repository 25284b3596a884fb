#pragma once
// TWebAccess, "Automatic software update": checks the update site when it opens,
// and on "Update" downloads, checks, unpacks and installs a newer version, then
// starts the restart script and closes the main window. Shown modally; frees
// itself when closed. The work itself is in update_steps.h.
//
// While the archive downloads the window takes input: "Cancel / Close" (or closing
// the window) cancels the download, which leaves nothing behind, and then closes
// the window. The check made as the window opens runs before it is shown, held to
// its deadline.
#include <QDialog>
#include <functional>
#include <string>

#include "ui_WebAccess.h"
#include "web/download.h"

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
    // Escape: as "Cancel / Close" (the dialog must not go while its work runs).
    void reject() override;

private:
    void AddLine(const std::string& line);
    void Install(const std::string& newest, bool folderLines);

    // Runs `work` as the window's one piece of network work: the wait cursor, a
    // fresh Cancel, and the close asked for meanwhile done afterwards.
    template <typename Work>
    auto Busy(Work&& work);
    // Ends the running work; the window closes once it has.
    void CancelAndClose();

    std::function<void()> closeMainWindow_;
    std::string newest_;     // a newer version was offered
    bool busy_ = false;      // a download or copy is under way: the window stays
    bool closeAfter_ = false;
    web::DownloadCancel cancel_;
};
