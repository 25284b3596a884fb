#pragma once
// "Identification code writer": finds the recorded event in a lunar-occultation
// prediction report (held in the main window's Memo3), takes the star, contact
// angle, velocity, Moon distance and spectral type of its line into the
// diffraction model, and writes the identification label into the graph's title
// or onto a picture of its own (pasted, loaded or copied from the graph), which
// can be copied or saved. Opened from the graph's "Identification" or the main
// window's menu; the graph ignores clicks while it is open. Stay-on-top; frees
// itself when closed. Handlers are thin over identification.h.
#include <QImage>
#include <QMainWindow>
#include <QRect>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/identification.h"
#include "ui_Identification1.h"

class TPlatform;

class TIdentification : public QMainWindow, public Ui::TIdentification {
    Q_OBJECT
public:
    // Sets IdentificationOpen; IdentificationFromGraph says who opened it.
    explicit TIdentification(TPlatform* owner);
    ~TIdentification() override;

    void FormCreate();
    // IdentificationText from the star, date lists and observer; with "<4> Write
    // to graph" checked the label is drawn (other source) or the graph redrawn.
    void ComposeIdText();
    void DrawIdText();
    void OpenPredictionFile();
    void ParsePredictionHeader();
    void ApplyPredictionLine();
    // Year, month and day from the overlay strings (today's where unreadable).
    void DateFromOverlay();
    // "Target image": the window's layout for the graph (0) or its own picture (1).
    void ApplyLayout(bool move);

    // Handlers.
    void Button1Click();
    void Button2Click();  // also the menu's "Open prediction file"
    void Button3Click();
    void Button4Click();  // also "Open graph (.png file)"
    void Button5Click();  // also "Save graph (.png file)"
    void Button6Click();  // also "Copy image to clipboard"
    void Button7Click();
    void Button8Click();  // also "Paste image from clipboard"
    void Button9Click();
    void Button10Click();
    void Button11Click();
    void Button12Click();
    void CheckBox1Click();
    void CheckBox2Click();
    void CheckBox3Click();
    void RadioGroup1Click();
    void DateListChange(int list);  // ComboBox1..ComboBox3 as 1..3
    void Edit2Change(bool byUser);
    void EventTimeEnter(int part);  // Edit9..Edit11 as 0..2
    void EventTimeExit(int part);
    void ScrollBarChange();
    void SpeedButton1Click();
    void SpeedButton2Click();

    QImage IdBackupBitmap;
    QRect IdBackupRect;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ConnectHandlers();
    // A new picture in Image1: the backup and the scroll ranges follow it.
    void TakePicture(const QImage& picture);
    void ShowEventTime();
    void SelectDate(const identification::DateSelection& d);
    void ShowList(identification::EventList list);
    identification::OverlayClock Clock() const;
    bool OtherSource() const { return RadioGroup1->ItemIndex() == 1; }
    // The window's top for "Direct to Graph".
    int GraphLayoutTop() const;
    TPlatform& platform_;
    identification::Columns columns_;
    std::vector<std::string> memo1_, items_;
    std::array<std::string, 3> entryText_;
    bool creating_ = true;
};

// The open window, or null.
extern TIdentification* Identification;
