#include "platform/dialogs.h"
#include "platform/qt_text.h"

#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <cstdio>
#include <memory>

namespace {
DialogService* g_service = nullptr;
QPointer<QWidget> g_parent;

QtDialogService& QtService() {
    static QtDialogService s;
    return s;
}

// Runs a modal call between the two calls of the hook.
template <typename F>
auto Modal(DialogService& s, F&& f) {
    if (s.modalHook) s.modalHook(true);
    struct Done {
        DialogService& s;
        ~Done() {
            if (s.modalHook) s.modalHook(false);
        }
    } done{s};
    return f();
}


const char* KindName(MsgKind k) {
    switch (k) {
        case MsgKind::Error: return "error";
        case MsgKind::Warning: return "warning";
        case MsgKind::Information: return "information";
        case MsgKind::Confirmation: return "confirmation";
        case MsgKind::Plain: return "plain";
    }
    return "plain";
}
}  // namespace

DialogService& Dialogs() { return g_service ? *g_service : QtService(); }
void SetDialogs(DialogService* service) { g_service = service; }
void SetDialogParent(QWidget* parent) { g_parent = parent; }

void QtDialogService::Message(MsgKind kind, const std::string& text) { MessageTitled(kind, text, {}); }

void QtDialogService::MessageTitled(MsgKind kind, const std::string& text, const std::string& ownTitle) {
    Modal(*this, [&] {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title = QApplication::applicationName();
        switch (kind) {
            case MsgKind::Error: icon = QMessageBox::Critical; title = "Error"; break;
            case MsgKind::Warning: icon = QMessageBox::Warning; title = "Warning"; break;
            case MsgKind::Information: icon = QMessageBox::Information; title = "Information"; break;
            case MsgKind::Confirmation: icon = QMessageBox::Question; title = "Confirm"; break;
            case MsgKind::Plain: break;
        }
        if (!ownTitle.empty()) title = QStr(ownTitle);
        QMessageBox box(icon, title, QStr(text), QMessageBox::Ok, g_parent);
        box.exec();
        return 0;
    });
}

bool QtDialogService::AskYesNo(const std::string& text, MsgKind kind, const std::string& title) {
    return Modal(*this, [&] {
        QMessageBox box(kind == MsgKind::Warning ? QMessageBox::Warning : QMessageBox::Question,
                        title.empty() ? QString("Confirm") : QStr(title), QStr(text),
                        QMessageBox::Yes | QMessageBox::No, g_parent);
        return box.exec() == QMessageBox::Yes;
    });
}

void QtDialogService::YesOnly(const std::string& text) {
    Modal(*this, [&] {
        QMessageBox box(QMessageBox::Question, "Confirm", QStr(text), QMessageBox::Yes, g_parent);
        box.exec();
        return 0;
    });
}

std::string QtDialogService::OpenFileName(const FileDialogRequest& r) {
    return Modal(*this, [&] {
        QString start = QStr(r.folder);
        if (!r.fileName.empty()) start = start.isEmpty() ? QStr(r.fileName) : start + "/" + QStr(r.fileName);
        return StdStr(QFileDialog::getOpenFileName(g_parent, QStr(r.title), start, QStr(r.filter)));
    });
}

std::string QtDialogService::SaveFileName(const FileDialogRequest& r) {
    return Modal(*this, [&] {
        QString start = QStr(r.folder);
        if (!r.fileName.empty()) start = start.isEmpty() ? QStr(r.fileName) : start + "/" + QStr(r.fileName);
        if (!r.typeChange && !r.chosenFilter && r.filterIndex <= 1)
            return StdStr(QFileDialog::getSaveFileName(g_parent, QStr(r.title), start, QStr(r.filter)));
        QFileDialog dialog(g_parent, QStr(r.title), start, QStr(r.filter));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        // The name box is only reachable in Qt's own dialog.
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        const QStringList filters = dialog.nameFilters();
        if (r.filterIndex >= 1 && r.filterIndex <= filters.size()) dialog.selectNameFilter(filters[r.filterIndex - 1]);
        if (r.typeChange) {
            QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& f) {
                auto* edit = dialog.findChild<QLineEdit*>("fileNameEdit");
                const std::string name = r.typeChange(static_cast<int>(filters.indexOf(f)) + 1, edit ? StdStr(edit->text()) : std::string());
                if (edit && !name.empty()) edit->setText(QStr(name));
            });
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::string();
        if (r.chosenFilter) *r.chosenFilter = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
        return StdStr(dialog.selectedFiles().front());
    });
}

std::string QtDialogService::FolderName(const FileDialogRequest& r) {
    return Modal(*this, [&] { return StdStr(QFileDialog::getExistingDirectory(g_parent, QStr(r.title), QStr(r.folder))); });
}

std::optional<std::string> QtDialogService::InputText(const std::string& caption, const std::string& prompt,
                                                      const std::string& initial) {
    return Modal(*this, [&]() -> std::optional<std::string> {
        bool ok = false;
        const QString text = QInputDialog::getText(g_parent, QStr(caption), QStr(prompt), QLineEdit::Normal, QStr(initial), &ok);
        if (!ok) return std::nullopt;
        return StdStr(text);
    });
}

std::optional<uint32_t> QtDialogService::ChooseColor(uint32_t initial) {
    return Modal(*this, [&]() -> std::optional<uint32_t> {
        const QColor c = QColorDialog::getColor(QColor(initial & 0xFF, (initial >> 8) & 0xFF, (initial >> 16) & 0xFF), g_parent);
        if (!c.isValid()) return std::nullopt;
        return static_cast<uint32_t>(c.red() | c.green() << 8 | c.blue() << 16);
    });
}

void QtDialogService::ShowModal(QDialog* dialog) {
    Modal(*this, [&] { return dialog->exec(); });
}

void QtDialogService::SetClipboardText(const std::string& text) { QGuiApplication::clipboard()->setText(QStr(text)); }
void QtDialogService::SetClipboardImage(const QImage& image) { QGuiApplication::clipboard()->setImage(image); }
std::string QtDialogService::ClipboardText() { return StdStr(QGuiApplication::clipboard()->text()); }
QImage QtDialogService::ClipboardImage() { return QGuiApplication::clipboard()->image(); }

void ScriptedDialogs::Install() {
    if (installed_) return;
    previous_ = g_service;
    SetDialogs(this);
    installed_ = true;
}

ScriptedDialogs::~ScriptedDialogs() {
    if (installed_ && g_service == this) SetDialogs(previous_);
}

void ScriptedDialogs::Message(MsgKind kind, const std::string& text) { MessageTitled(kind, text, {}); }

void ScriptedDialogs::MessageTitled(MsgKind kind, const std::string& text, const std::string& title) {
    Modal(*this, [&] {
        shown.push_back({KindName(kind), text, {}, {}, title});
        return 0;
    });
}

bool ScriptedDialogs::AskYesNo(const std::string& text, MsgKind, const std::string& title) {
    return Modal(*this, [&] {
        shown.push_back({"yesno", text, {}, {}, title});
        if (yesNoAnswers.empty()) return true;
        bool a = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return a;
    });
}

void ScriptedDialogs::YesOnly(const std::string& text) {
    Modal(*this, [&] {
        shown.push_back({"yesonly", text, {}});
        return 0;
    });
}

std::string ScriptedDialogs::NextFile(const char* what, const FileDialogRequest& r) {
    return Modal(*this, [&] {
        shown.push_back({what, r.title, r.folder, r.filter});
        if (r.chosenFilter) *r.chosenFilter = r.filterIndex;
        if (fileAnswers.empty()) return std::string();
        FileAnswer a = fileAnswers.front();
        fileAnswers.pop_front();
        // The name was typed, then the type changed (which may rewrite the name).
        if (a.filter > 0 && a.filter != r.filterIndex) {
            if (r.chosenFilter) *r.chosenFilter = a.filter;
            if (r.typeChange) {
                const std::string name = r.typeChange(a.filter, a.path);
                if (!name.empty()) {
                    const size_t slash = a.path.rfind('/');
                    a.path = (slash == std::string::npos ? std::string() : a.path.substr(0, slash + 1)) + name;
                }
            }
        }
        return a.path;
    });
}

std::string ScriptedDialogs::OpenFileName(const FileDialogRequest& r) { return NextFile("open", r); }
std::string ScriptedDialogs::SaveFileName(const FileDialogRequest& r) { return NextFile("save", r); }
std::string ScriptedDialogs::FolderName(const FileDialogRequest& r) {
    if (folderAnswers.empty()) return NextFile("folder", r);
    return Modal(*this, [&] {
        shown.push_back({"folder", r.title, r.folder, r.filter});
        std::string a = folderAnswers.front();
        folderAnswers.pop_front();
        return a;
    });
}

std::optional<uint32_t> ScriptedDialogs::ChooseColor(uint32_t initial) {
    return Modal(*this, [&]() -> std::optional<uint32_t> {
        char text[8];
        std::snprintf(text, sizeof text, "%06x", initial & 0xFFFFFF);
        shown.push_back({"color", text, {}});
        if (colorAnswers.empty()) return std::nullopt;
        const std::optional<uint32_t> a = colorAnswers.front();
        colorAnswers.pop_front();
        return a;
    });
}

std::optional<std::string> ScriptedDialogs::InputText(const std::string&, const std::string& prompt, const std::string&) {
    return Modal(*this, [&]() -> std::optional<std::string> {
        shown.push_back({"input", prompt, {}});
        if (textAnswers.empty()) return std::nullopt;
        std::string a = textAnswers.front();
        textAnswers.pop_front();
        return a;
    });
}

void ScriptedDialogs::ShowModal(QDialog* dialog) {
    shown.push_back({"window", StdStr(dialog->objectName()), {}});
    if (modalHook) modalHook(true);
    // Closed or destroyed, the window ends its modal time once.
    auto ended = std::make_shared<bool>(false);
    auto end = [this, ended] {
        if (*ended) return;
        *ended = true;
        if (g_service == this && modalHook) modalHook(false);
    };
    QObject::connect(dialog, &QDialog::finished, dialog, end);
    QObject::connect(dialog, &QObject::destroyed, end);
    dialog->show();
}

std::vector<std::string> ScriptedDialogs::Texts(const std::string& what) const {
    std::vector<std::string> out;
    for (const auto& s : shown)
        if (s.what == what) out.push_back(s.text);
    return out;
}
