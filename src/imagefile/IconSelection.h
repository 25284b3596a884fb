#pragma once
// "Select icon to import from file": the images of an icon or cursor file, one
// line each, a preview of the selected one on the transparent colour, and the
// colour's choice. Handlers are thin over TIconList.
#include <QDialog>
#include <cstdint>

#include "imagefile/IconList.h"
#include "ui_IconSelection.h"

class TIconSelectionForm : public QDialog, public Ui::TIconSelectionForm {
    Q_OBJECT
public:
    // The list must outlive the window; its images are decoded as they are shown.
    TIconSelectionForm(imagefile::TIconList& list, uint32_t transparentColor, QWidget* parent = nullptr);

    uint32_t Color;  // 0x00BBGGRR, the dialog's colour
    int Selected() const { return SelectBox->currentRow(); }

    void FormShow();
    void SelectBoxChange();
    void TransparentButtonClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    imagefile::TIconList& list_;
    bool shown_ = false;
};

// The icon loader's selection through this window, shown by the dialog service:
// false unless it closed with "&Ok".
bool ShowIconSelection(imagefile::TIconList& list, int& index, uint32_t& transparentColor);
