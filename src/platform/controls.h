#pragma once
// Small controls with the behaviour the windows expect of the desktop class
// library: an image with a canvas, an up-down with a position and an associated
// edit, and a radio group addressed by item index.
#include <QFont>
#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QStringList>
#include <QWidget>
#include <utility>
#include <vector>

class QCoreApplication;
class QPushButton;
class QRadioButton;
class QToolButton;

// A picture the program paints into (the frame, markers) and the user clicks on.
// Mouse positions are picture pixels.
class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);
    QImage& Picture() { return picture_; }
    const QImage& Picture() const { return picture_; }
    // Sets the picture size (ARGB32, black) when it differs.
    void SetPictureSize(int width, int height);
    // The widget takes the picture's size from now on (inside a scroll area the
    // picture then scrolls, shown 1:1).
    void SetSizeFollowsPicture(bool on);
    // Copies an image into the picture at (x, y) and repaints.
    void Draw(int x, int y, const QImage& image);
    void Changed() { update(); }
signals:
    void MouseDown(Qt::MouseButton button, int x, int y);
    void MouseUp(Qt::MouseButton button, int x, int y);
    void MouseMove(int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QImage picture_;
    bool followPicture_ = false;
};

// Up and down arrows holding a position between a minimum and a maximum. Changing
// the position writes it into the associated edit, if any. Clicks change the
// position by the increment and then emit Click(up); SetPosition does not emit Click.
// Every new position, set by code or by a click, emits Changing(position), as the
// class library runs an up-down's changing handler on any assignment.
class TUpDown : public QWidget {
    Q_OBJECT
public:
    explicit TUpDown(QWidget* parent = nullptr);
    int Position() const { return position_; }
    int Min() const { return min_; }
    int Max() const { return max_; }
    void SetPosition(int position);  // clamped into the range
    void SetRange(int min, int max);  // the position is clamped into the new range
    void SetMin(int min) { SetRange(min, max_); }
    void SetMax(int max) { SetRange(min_, max); }
    void SetIncrement(int increment) { increment_ = increment; }
    int Increment() const { return increment_; }
    // A step past either end comes round to the other end.
    void SetWrap(bool on) { wrap_ = on; }
    // Steps while an arrow is held: after `seconds` the step becomes `step`
    // (pairs in ascending seconds); empty: always the increment.
    void SetAccel(std::vector<std::pair<int, int>> steps) { accel_ = std::move(steps); }
    // The program's usual speed-up: +1 at once, +2 after 1 s, +5 after 2 s,
    // +10 after 3 s held.
    void SetStandardAccel() { SetAccel({{0, 1}, {1, 2}, {2, 5}, {3, 10}}); }
    // The step a click takes after the arrow has been held `heldMs`.
    int StepAfter(qint64 heldMs) const;
    void SetAssociate(QLineEdit* edit);
    // What a click on an arrow does (also used by scripted input).
    void ClickArrow(bool up);
    // Scripted input: the position as if the user had clicked to it (one Click).
    void SetPositionByUser(int position);
signals:
    void Click(bool up);
    void Changing(int position);

private:
    void ShowPosition();
    int position_ = 0, min_ = 0, max_ = 100, increment_ = 1;
    bool wrap_ = false;
    std::vector<std::pair<int, int>> accel_;
    qint64 pressedAt_ = -1;  // ms since the arrow went down (-1: a single click)
    QLineEdit* associate_ = nullptr;
    QToolButton* up_;
    QToolButton* down_;
};

// A group box of radio buttons addressed by item index (-1 none).
class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit TRadioGroup(QWidget* parent = nullptr);
    void SetItems(const QStringList& items, int columns = 0);
    int ItemIndex() const;
    void SetItemIndex(int index);  // does not emit Click
    void SelectByUser(int index);  // as a click on item `index`
    int Count() const { return static_cast<int>(buttons_.size()); }
signals:
    void Click(int index);

private:
    std::vector<QRadioButton*> buttons_;
    bool setting_ = false;
};

// An edit that holds a long text, the one a user selects and copies, but shows a
// shorter form of it, so that a narrow edit still reads at a glance. The short
// form is painted as the edit paints its own text; the text itself shows while
// some of it is selected (and while the edit, not read-only, has the focus).
class TSummaryEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TSummaryEdit(QWidget* parent = nullptr);
    // The text and the form shown without the focus (empty: the text itself).
    void SetTexts(const QString& text, const QString& shown);
    // What the edit shows while nothing is selected.
    QString Shown() const { return shown_.isEmpty() ? text() : shown_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString shown_;
};

// The class library's edits show the beginning of a text the program puts into
// them; a QLineEdit leaves its cursor at the end of the new text and so shows the
// end of one longer than the edit. Installed once on the application, this puts
// the cursor back at the start whenever the program moves it, in every line edit
// there is: one that has the focus (unless it is read-only), a selection, or was
// typed into since its text was last set is the user's, and is left alone.
void ShowEditTextFromStart(QCoreApplication& app);

// Shows a push button's caption word-wrapped inside the button, in its own font
// (text() stays the caption).
void WrapButtonCaption(QPushButton* button);

// The class library's form font, 8 points at 96 dots per inch with Arial's
// metrics: the designed layouts of the secondary windows are measured in it, so
// their captions fit their controls.
QFont FormFont();
void UseFormFont(QWidget* form);
