// The main window's picture exports ("Save Image", "Copy Image to ClipBoard") and
// the single-bitmap source ("Load bmp").
#include <QAction>

#include "measure/main_2.h"
#include "measure/picture_export.h"
#include "platform/dialogs.h"
#include "platform/file_io.h"
#include "platform/save_picture.h"

namespace {

const char* kBitmapFilter = "bmp (*.bmp)";

}  // namespace

void TPlatform::ConnectPictureHandlers() {
    connect(SaveImage1, &QAction::triggered, this, &TPlatform::SaveImage1Click);
    connect(CopyImagetoClipBoard1, &QAction::triggered, this, &TPlatform::CopyImagetoClipBoard1Click);
    connect(Button22, &QPushButton::clicked, this, &TPlatform::LoadBitmapClick);
    connect(LoadBMP1, &QAction::triggered, this, &TPlatform::LoadBitmapClick);
}

// ---------------------------------------------------------------- exports

void TPlatform::SaveImage1Click() {
    FileDialogRequest r;
    r.title = "Save Image";
    r.filter = kPictureSaveFilter;
    r.filterIndex = 1;
    // A new file type puts its extension on the name typed so far.
    r.typeChange = [](int index, const std::string& name) {
        return name.empty() ? std::string() : fileio::ChangeFileExt(fileio::ExtractFileName(name), PictureExtension(index));
    };
    int chosen = 1;
    r.chosenFilter = &chosen;
    const std::string chosenName = Dialogs().SaveFileName(r);
    const std::string path = FramePictureName(chosenName, chosen);
    if (path.empty()) return;
    // A copy is saved: the shown frame keeps its size.
    const QImage picture = FramePictureToSave(Image1->Picture(), State.VideoFrameRateInt);
    std::string error;
    if (!SavePicture(picture, path, error)) Dialogs().ShowError("Could not save the image.\r\n" + path + "\r\n" + error);
}

void TPlatform::CopyImagetoClipBoard1Click() {
    if (!State.VideoOpen || State.RecordingFlag) return;
    Dialogs().SetClipboardImage(Image1->Picture().convertToFormat(QImage::Format_RGB888));
}

// ---------------------------------------------------------------- bitmap source

void TPlatform::LoadBitmapClick() {
    MeasureState& s = State;
    if (s.RecordingFlag || s.DirectionMode) return;
    const std::string path = Dialogs().OpenFileName({"Load bmp", State.VideoFolder, "", kBitmapFilter});
    if (!path.empty()) {
        BitmapFileName = path;
        BitmapMode = 1;
        s.VideoOpen = 1;
        // Without a video the bitmap is the one frame there is.
        if (!s.ReaderOpen) {
            const QSignalBlocker quiet(ScrollBar1);
            ScrollBar1->setRange(0, 0);
        }
    } else {
        BitmapMode = 0;
        // The frames of the video the reader holds come back; without one there is nothing to show.
        s.VideoOpen = s.ReaderOpen ? 1 : 0;
    }
    ShowNeighbor();
}

bool TPlatform::FetchBitmapFile(Bitmap24& out, std::string& status) {
    std::string error;
    if (!LoadBitmapFrame(BitmapFileName, out, error)) {
        status = error;
        return false;
    }
    State.FrameWidth = out.Width();
    State.FrameHeight = out.Height();
    Edit15->setText("Bmp File is Opened");
    return true;
}
