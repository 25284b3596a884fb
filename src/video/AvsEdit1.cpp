#include "video/AvsEdit1.h"

#include <QCloseEvent>

#include "platform/dialogs.h"
#include "platform/file_io.h"
#include "platform/qt_text.h"
#include "video/avs_edit.h"

AvsScriptDialog OpenDialog3;
bool AvsEditOpen = false;
TAvsEdit* AvsEdit = nullptr;

namespace {

const char* const kEditorFilter = "AVS File (*.avs);;All Files (*)";

FileDialogRequest Request(const char* title, const std::string& folder, const std::string& name, const char* filter) {
    FileDialogRequest r;
    r.title = title;
    r.folder = folder;
    r.fileName = name;
    r.filter = filter;
    return r;
}

std::string MemoText(const QPlainTextEdit* memo) { return StdStr(memo->toPlainText()); }

}  // namespace

TAvsEdit::TAvsEdit(QWidget* parent) : QMainWindow(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    connect(OpenAVSFile1, &QAction::triggered, this, [this] { OpenAVSFile1Click(); });
    connect(SaveAVSFile1, &QAction::triggered, this, [this] { SaveAVSFile1Click(); });
    connect(Saveas1, &QAction::triggered, this, [this] { Saveas1Click(); });
    FormCreate();
}

TAvsEdit::~TAvsEdit() {
    if (AvsEdit == this) {
        AvsEdit = nullptr;
        AvsEditOpen = false;
    }
}

void TAvsEdit::FormCreate() {
    AvsEditOpen = true;
    AvsEdit = this;
}

void TAvsEdit::ShowScript(const std::string& path, const std::string& text) {
    scriptPath_ = path;
    Memo1->setPlainText(QStr(text));
}

void TAvsEdit::OpenAVSFile1Click() {
    const std::string path = Dialogs().OpenFileName(Request("Open AVS File", OpenDialog3.initialDir, "", kEditorFilter));
    if (path.empty()) return;
    std::string text, error;
    // A script that does not read leaves the memo and the file it saves to alone.
    if (!avsedit::LoadScript(path, text, error)) {
        Dialogs().ShowError(avsedit::CouldNotOpenText(path));
        return;
    }
    ShowScript(path, text);
}

void TAvsEdit::SaveAVSFile1Click() {
    std::string error;
    if (!avsedit::SaveScript(scriptPath_, MemoText(Memo1), error))
        Dialogs().ShowError(avsedit::CouldNotSaveText(scriptPath_, error));
}

void TAvsEdit::Saveas1Click() {
    const std::string chosen = Dialogs().SaveFileName(Request("Save as", OpenDialog3.initialDir, "", kEditorFilter));
    if (chosen.empty()) return;
    const std::string path = avsedit::SaveAsName(chosen);
    // The dialog asked about the name typed; ".avs" may point at another file.
    if (avsedit::ReplacesAnotherFile(path, scriptPath_) && !Dialogs().AskYesNo(avsedit::ReplaceQuestion(path), MsgKind::Confirmation))
        return;
    std::string error;
    if (!avsedit::SaveScript(path, MemoText(Memo1), error)) {
        Dialogs().ShowError(avsedit::CouldNotSaveText(path, error));
        return;
    }
    scriptPath_ = path;
}

void TAvsEdit::closeEvent(QCloseEvent* event) {
    AvsEditOpen = false;
    QMainWindow::closeEvent(event);
}

TAvsEdit* OpenAvsEditor(const std::string& videoFolder, QWidget* parent) {
    if (!videoFolder.empty()) OpenDialog3.initialDir = videoFolder;
    const std::string path =
        Dialogs().OpenFileName(Request("Open", OpenDialog3.initialDir, fileio::ExtractFileName(OpenDialog3.fileName), "AviSynth File (*.avs)"));
    if (path.empty()) return nullptr;
    OpenDialog3.fileName = path;
    std::string text, error;
    if (!avsedit::LoadScript(path, text, error)) {
        Dialogs().ShowError(avsedit::CouldNotOpenText(fileio::ExtractFileName(path)));
        return nullptr;
    }
    auto* editor = new TAvsEdit(parent);
    editor->ShowScript(path, text);
    return editor;
}
