#pragma once
// TColorValueDisplay, "Measurement": the red, green and blue sums of the current
// object's aperture and background for the frame and its two fields, filled by the
// photometry while the panel is shown. Stays on top; frees itself when closed.
#include <QWidget>
#include <array>
#include <string>

#include "ui_colorvalue.h"

class TPlatform;
class TSummaryEdit;

class TColorValueDisplay : public QWidget, public Ui::TColorValueDisplay {
    Q_OBJECT
public:
    explicit TColorValueDisplay(TPlatform& owner);
    ~TColorValueDisplay() override;

    void FormCreate();
    // Per line (0 the frame, 1 and 2 the fields): the star sums' edits R, G, B
    // then the background sums' edits R, G, B.
    std::array<std::array<TSummaryEdit*, 6>, 3> Edits() const;
    // The texts of the three lines, in the order of Edits(); each edit shows the
    // text's short form (ShortExponentText) and keeps the text for copying.
    void Fill(const std::array<std::array<std::string, 6>, 3>& texts);
    void Clear();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    TPlatform& p_;
};

// The open panel, or null; ColorValueShown while it is open.
extern TColorValueDisplay* ColorValueDisplay;
extern bool ColorValueShown;
