#pragma once
// TAvsEdit: a plain text editor for AviSynth scripts. The main window opens it with
// a script (OpenAvsEditor); its File menu opens and saves others. "Save AVS File"
// writes to the script in the editor now (the last one opened or saved as), and
// "Save as" asks before it replaces another existing file. Nothing is saved on
// closing. Scripts are shown and saved as single-byte text, so an untouched script
// saves back byte for byte; a typed character without a single byte is refused
// with a box, leaving the file as it was. Stays on top; frees itself when closed.
#include <QMainWindow>
#include <string>

#include "ui_AvsEdit1.h"

class TAvsEdit : public QMainWindow, public Ui::TAvsEdit {
    Q_OBJECT
public:
    explicit TAvsEdit(QWidget* parent = nullptr);
    ~TAvsEdit() override;

    void FormCreate();
    void OpenAVSFile1Click();
    void SaveAVSFile1Click();
    void Saveas1Click();

    // Shows `text`, the script read from `path`, which later saves go to.
    void ShowScript(const std::string& path, const std::string& text);
    const std::string& ScriptPath() const { return scriptPath_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::string scriptPath_;
};

// The main window's script dialog (OpenDialog3): the folder it starts in, which
// the editor's own dialog starts in too, and the script chosen last.
struct AvsScriptDialog {
    std::string initialDir;
    std::string fileName;
};
extern AvsScriptDialog OpenDialog3;

extern bool AvsEditOpen;
extern TAvsEdit* AvsEdit;

// "AVS File Edit": the script dialog in `videoFolder` (when set; else where it
// started last); a script that reads becomes a new editor, shown, which is
// returned. Otherwise "Could not open .AVS file." with the name without its
// folder (none when the dialog was cancelled), and null.
TAvsEdit* OpenAvsEditor(const std::string& videoFolder, QWidget* parent);
