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

std::string JoinedLines(const std::vector<std::string>& lines) { return Lines(lines).toStdString(); }

}  // namespace

template <typename Work>
auto TWebAccess::Busy(Work&& work) {
    struct Guard {
        TWebAccess& w;
        explicit Guard(TWebAccess& window) : w(window) {
            w.busy_ = true;
            w.cancel_.Reset();
            w.Button1->setEnabled(false);
            w.Button3->setEnabled(false);
            QApplication::setOverrideCursor(Qt::WaitCursor);
        }
        ~Guard() {
            QApplication::restoreOverrideCursor();
            w.Button1->setEnabled(!w.newest_.empty());
            w.Button3->setEnabled(true);
            w.busy_ = false;
        }
    };
    Guard guard(*this);
    return work();
}

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
    // Not shown yet: no input to take, and no Cancel to press.
    const web::CheckOutcome check = Busy([] { return web::CheckNewestVersion(web::CurrentUpdateSite()); });
    for (const std::string& line : check.memo1) AddLine(line);
    if (check.ok) Memo2->setPlainText(Lines(check.memo2));
    newest_ = check.offered ? check.newest : std::string();
    return check.offered;
}

void TWebAccess::Button1Click() {
    if (newest_.empty() || busy_) return;
    Install(newest_, false);
}

void TWebAccess::Button2Click() {
    if (busy_) {
        CancelAndClose();
        return;
    }
    close();
}

void TWebAccess::Button3Click() {
    if (busy_) return;
    const web::CheckOutcome check =
        Busy([this] { return web::CheckNewestVersion(web::CurrentUpdateSite(), &cancel_); });
    if (closeAfter_) {
        close();
        return;
    }
    if (!check.ok) {
        // A failed download as the Part words it; a refused check says why.
        const bool download = check.memo1 == std::vector<std::string>{web::kAccessFailedText};
        Dialogs().Message(MsgKind::Plain, download ? "Fail to download" : JoinedLines(check.memo1));
        return;
    }
    if (!check.offered) {
        Dialogs().Message(MsgKind::Plain, "This program is the newest version. Update is not necessary.");
        return;
    }
    Install(check.newest, true);
}

void TWebAccess::Install(const std::string& newest, bool folderLines) {
    const web::InstallOutcome outcome = Busy([&] {
        return web::InstallUpdate(web::CurrentUpdateSite(), newest, folderLines,
                                  [this](const std::string& line) { AddLine(line); }, &cancel_);
    });
    if (closeAfter_ && outcome.status != web::InstallStatus::Ready) {
        close();
        return;
    }
    if (outcome.status == web::InstallStatus::Cancelled) return;
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

void TWebAccess::CancelAndClose() {
    closeAfter_ = true;
    cancel_.Cancel();
}

void TWebAccess::closeEvent(QCloseEvent* event) {
    if (busy_) {
        CancelAndClose();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TWebAccess::reject() {
    if (busy_) {
        CancelAndClose();
        return;
    }
    QDialog::reject();
}
