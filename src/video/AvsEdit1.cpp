#include "video/AvsEdit1.h"

#include <QCloseEvent>
#include <QTextBlock>

#include "platform/dialogs.h"
#include "platform/file_io.h"
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

// Scripts are single-byte text: byte b is shown as the character U+00b and saved
// back as b, so an untouched script saves to the bytes it was read from (the local
// codec would turn bytes that are not UTF-8 into U+FFFD).
QString ScriptText(const std::string& bytes) { return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size())); }

// The memo's text as script bytes. Read block by block: toPlainText() would turn a
// no-break space (byte 0xA0) into a blank. False, naming the line, when a typed
// character has no single byte.
bool MemoBytes(const QPlainTextEdit* memo, std::string& bytes, std::string& error) {
    bytes.clear();
    int line = 1;
    for (QTextBlock b = memo->document()->begin(); b.isValid(); b = b.next(), ++line) {
        if (line > 1) bytes += '\n';
        const QString text = b.text();
        for (const QChar c : text) {
            if (c.unicode() > 0xFF) {
                error = "Line " + std::to_string(line) + " holds a character that a single-byte script cannot hold.";
                return false;
            }
            bytes += static_cast<char>(c.unicode());
        }
    }
    return true;
}

// Saves the memo to `path`; a box says why when it cannot.
bool SaveMemo(const QPlainTextEdit* memo, const std::string& path) {
    std::string bytes, error;
    if (!MemoBytes(memo, bytes, error) || !avsedit::SaveScript(path, bytes, error)) {
        Dialogs().ShowError(avsedit::CouldNotSaveText(path, error));
        return false;
    }
    return true;
}

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
    Memo1->setPlainText(ScriptText(text));
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

void TAvsEdit::SaveAVSFile1Click() { SaveMemo(Memo1, scriptPath_); }

void TAvsEdit::Saveas1Click() {
    const std::string chosen = Dialogs().SaveFileName(Request("Save as", OpenDialog3.initialDir, "", kEditorFilter));
    if (chosen.empty()) return;
    const std::string path = avsedit::SaveAsName(chosen);
    // The dialog asked about the name typed; ".avs" may point at another file.
    if (avsedit::ReplacesAnotherFile(path, scriptPath_) && !Dialogs().AskYesNo(avsedit::ReplaceQuestion(path), MsgKind::Confirmation))
        return;
    if (SaveMemo(Memo1, path)) scriptPath_ = path;
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
