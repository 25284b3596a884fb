#pragma once
// Message, error and confirmation boxes, file dialogs and the clipboard behind one
// service. Windows call Dialogs(); tests and the harness install ScriptedDialogs,
// which records what would have been shown and answers as told, so that nothing
// ever blocks on a modal dialog.
#include <QImage>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QDialog;
class QWidget;

enum class MsgKind { Error, Warning, Information, Confirmation, Plain };

struct FileDialogRequest {
    std::string title;
    std::string folder;    // start folder; empty for the current one
    std::string fileName;  // proposed name
    std::string filter;    // Qt filter text, e.g. "CSV files (*.csv);;All files (*)"
    int filterIndex = 1;   // 1-based file type selected when the dialog opens
    // Save dialogs: called when the user picks another file type (1-based) with the
    // name typed so far; a non-empty result replaces the name in the name box.
    std::function<std::string(int, const std::string&)> typeChange = nullptr;
    // Receives the 1-based file type chosen (when not null).
    int* chosenFilter = nullptr;
};

// A scripted answer to a file dialog: the path, and the file type picked (0: the
// type the dialog opened with).
struct FileAnswer {
    FileAnswer(std::string p, int f = 0) : path(std::move(p)), filter(f) {}
    FileAnswer(const char* p) : path(p) {}
    std::string path;
    int filter = 0;
};

class DialogService {
public:
    virtual ~DialogService() = default;
    // A box with an OK button.
    virtual void Message(MsgKind kind, const std::string& text) = 0;
    // The same with a title of its own ("Note").
    virtual void MessageTitled(MsgKind kind, const std::string& text, const std::string& title) = 0;
    // A question with Yes and No; true for Yes. `title`: the box's own caption, if any.
    virtual bool AskYesNo(const std::string& text, MsgKind kind = MsgKind::Confirmation, const std::string& title = {}) = 0;
    // A confirmation box with a single Yes button ("Setting was saved.").
    virtual void YesOnly(const std::string& text) = 0;
    // File dialogs: the chosen path, or empty when cancelled.
    virtual std::string OpenFileName(const FileDialogRequest& request) = 0;
    virtual std::string SaveFileName(const FileDialogRequest& request) = 0;
    virtual std::string FolderName(const FileDialogRequest& request) = 0;
    // An input box: the text entered (starting from `initial`), or nothing when
    // cancelled.
    virtual std::optional<std::string> InputText(const std::string& caption, const std::string& prompt,
                                                 const std::string& initial) = 0;
    // A colour dialog starting at `initial` (0x00BBGGRR): the colour chosen, or
    // nothing when cancelled.
    virtual std::optional<uint32_t> ChooseColor(uint32_t initial) = 0;
    virtual void SetClipboardText(const std::string& text) = 0;
    virtual void SetClipboardImage(const QImage& image) = 0;
    virtual std::string ClipboardText() = 0;
    // The picture on the clipboard (null when it holds none).
    virtual QImage ClipboardImage() = 0;
    // Shows a window modally. The Qt service returns when it has closed; the
    // scripted one shows it and returns at once, the window staying open until
    // the script closes it. The hook's two calls enclose the time it is open.
    virtual void ShowModal(QDialog* dialog) = 0;

    // Called with true before a modal box is shown and with false after it closes
    // (the main window pauses its timer in between).
    std::function<void(bool)> modalHook;

    void ShowError(const std::string& text) { Message(MsgKind::Error, text); }
};

// The service in use (the Qt one unless a test installed another).
DialogService& Dialogs();
// Installs a service; nullptr restores the Qt one. Not owned.
void SetDialogs(DialogService* service);
// Parent window for the Qt dialogs.
void SetDialogParent(QWidget* parent);

class QtDialogService : public DialogService {
public:
    void Message(MsgKind kind, const std::string& text) override;
    void MessageTitled(MsgKind kind, const std::string& text, const std::string& title) override;
    bool AskYesNo(const std::string& text, MsgKind kind, const std::string& title) override;
    void YesOnly(const std::string& text) override;
    std::string OpenFileName(const FileDialogRequest& request) override;
    std::string SaveFileName(const FileDialogRequest& request) override;
    std::string FolderName(const FileDialogRequest& request) override;
    std::optional<std::string> InputText(const std::string& caption, const std::string& prompt,
                                         const std::string& initial) override;
    std::optional<uint32_t> ChooseColor(uint32_t initial) override;
    void SetClipboardText(const std::string& text) override;
    void SetClipboardImage(const QImage& image) override;
    std::string ClipboardText() override;
    QImage ClipboardImage() override;
    void ShowModal(QDialog* dialog) override;
};

// Records every box and answers from queues (Yes and cancel when a queue is empty).
// A folder dialog takes the next folder answer, or the next file answer when no
// folder answer is queued.
class ScriptedDialogs : public DialogService {
public:
    struct Shown {
        std::string what;  // "error", "warning", "information", "confirmation", "plain", "yesno", "yesonly", "open", "save", "folder", "input", "color", "window"
        std::string text;  // message text, dialog title or input prompt
        std::string folder;  // start folder of a file dialog
        std::string filter = {};  // file types of a file dialog
        std::string title = {};  // a box's own title, when it has one
    };
    std::vector<Shown> shown;
    std::deque<bool> yesNoAnswers;
    std::deque<FileAnswer> fileAnswers;
    std::deque<std::string> folderAnswers;
    std::deque<std::string> textAnswers;
    // Colour dialogs: the next answer (nothing: cancelled); cancelled when empty.
    std::deque<std::optional<uint32_t>> colorAnswers;
    std::string clipboardText;
    QImage clipboardImage;

    ScriptedDialogs() { previous_ = nullptr; }
    // Installs itself for the lifetime of the object.
    void Install();
    ~ScriptedDialogs() override;

    void Message(MsgKind kind, const std::string& text) override;
    void MessageTitled(MsgKind kind, const std::string& text, const std::string& title) override;
    bool AskYesNo(const std::string& text, MsgKind kind, const std::string& title) override;
    void YesOnly(const std::string& text) override;
    std::string OpenFileName(const FileDialogRequest& request) override;
    std::string SaveFileName(const FileDialogRequest& request) override;
    std::string FolderName(const FileDialogRequest& request) override;
    std::optional<std::string> InputText(const std::string& caption, const std::string& prompt,
                                         const std::string& initial) override;
    std::optional<uint32_t> ChooseColor(uint32_t initial) override;
    void SetClipboardText(const std::string& text) override { clipboardText = text; }
    void SetClipboardImage(const QImage& image) override { clipboardImage = image; }
    std::string ClipboardText() override { return clipboardText; }
    QImage ClipboardImage() override { return clipboardImage; }
    void ShowModal(QDialog* dialog) override;

    // Texts of the boxes of one kind ("error" ...), in order.
    std::vector<std::string> Texts(const std::string& what) const;

private:
    std::string NextFile(const char* what, const FileDialogRequest& request);
    bool installed_ = false;
    DialogService* previous_;
};
