#include "web/WebAccess.h"

#include <QApplication>
#include <QCloseEvent>

#include "platform/dialogs.h"
#include "platform/file_io.h"
#include "web/software_update.h"
#include "web/update_steps.h"

namespace {

QString Lines(const std::vector<std::string>& lines) {
    QStringList list;
    for (const std::string& l : lines) list << QString::fromStdString(l);
    return list.join('\n');
}

// The wait cursor and the busy flag for the time of one piece of network work.
class Busy {
public:
    explicit Busy(bool& flag) : flag_(flag) {
        flag_ = true;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~Busy() {
        QApplication::restoreOverrideCursor();
        flag_ = false;
    }

private:
    bool& flag_;
};

}  // namespace

TWebAccess::TWebAccess(QWidget* parent, std::function<void()> closeMainWindow)
    : QDialog(parent), closeMainWindow_(std::move(closeMainWindow)) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    FormCreate();
}

void TWebAccess::FormCreate() {
    Button1->setEnabled(false);
    Memo1->clear();
    Memo2->clear();
    if (CheckNewestVersion()) {
        Button1->setEnabled(true);
        fileio::DeleteFile(web::CurrentUpdateSite().programDir + "info.txt");
    }
}

bool TWebAccess::CheckNewestVersion() {
    web::CheckOutcome check;
    {
        Busy busy(busy_);
        check = web::CheckNewestVersion(web::CurrentUpdateSite());
    }
    for (const std::string& line : check.memo1) AddLine(line);
    if (check.ok) {
        Memo2->setPlainText(Lines(check.memo2));
        newest_ = check.newest;
    }
    return check.ok;
}

void TWebAccess::Button1Click() {
    if (newest_.empty() || busy_) return;
    Install(newest_, false);
}

void TWebAccess::Button2Click() { close(); }

void TWebAccess::Button3Click() {
    if (busy_) return;
    web::CheckOutcome check;
    {
        Busy busy(busy_);
        check = web::CheckNewestVersion(web::CurrentUpdateSite());
    }
    if (!check.ok) {
        Dialogs().Message(MsgKind::Plain, "Fail to download");
        return;
    }
    if (check.newest == web::kRunningVersion) {
        Dialogs().Message(MsgKind::Plain, "This program is the newest version. Update is not necessary.");
        return;
    }
    Install(check.newest, true);
}

void TWebAccess::Install(const std::string& newest, bool folderLines) {
    web::InstallOutcome outcome;
    {
        Busy busy(busy_);
        Button1->setEnabled(false);
        outcome = web::InstallUpdate(web::CurrentUpdateSite(), newest, folderLines,
                                     [this](const std::string& line) { AddLine(line); });
        Button1->setEnabled(true);
    }
    if (outcome.status == web::InstallStatus::DownloadFailed) {
        Dialogs().Message(MsgKind::Plain, "Fail to download");
        return;
    }
    if (outcome.status == web::InstallStatus::Failed) {
        Dialogs().ShowError(outcome.error);
        return;
    }
    if (web::RunningUnderDebugger()) {
        Dialogs().Message(MsgKind::Information, ".exe file can not been deeted during debugging");
        return;
    }
    if (!web::StartRestartScript(outcome.scriptPath)) {
        Dialogs().ShowError("Cannot start \"" + outcome.scriptPath + "\".");
        return;
    }
    close();
    if (closeMainWindow_) closeMainWindow_();
}

void TWebAccess::AddLine(const std::string& line) { Memo1->appendPlainText(QString::fromStdString(line)); }

void TWebAccess::closeEvent(QCloseEvent* event) {
    if (busy_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
