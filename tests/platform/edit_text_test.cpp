// What an edit shows of a text longer than itself: the beginning when the program
// set it, as the class library's edits do; a summary edit its short form.
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>
#include <gtest/gtest.h>

#include "platform/controls.h"

namespace {

constexpr const char* kLong = " 5.64000000000000E+0003";

// The picture of an edit as the class draws it with the cursor at the start, beside
// `like` on the same form.
QImage FromStart(const QLineEdit& like, const QString& text) {
    QLineEdit e(like.parentWidget());
    e.setReadOnly(like.isReadOnly());
    e.setGeometry(like.geometry().translated(0, 40));
    e.show();
    e.setText(text);
    e.setCursorPosition(0);
    return e.grab().toImage();
}

}  // namespace

// Set before and after the form is shown, set again unchanged, by value panels and
// read-outs alike: the cursor stays at the start and the edit shows the beginning.
// The user's own cursor (typed text, a selection) is left where it is.
TEST(EditText, TheProgramsTextShowsFromItsBeginning) {
    QWidget form;
    form.resize(240, 120);
    auto* early = new QLineEdit(&form);
    early->setGeometry(4, 4, 60, 22);
    early->setText(kLong);  // before the form is first shown
    auto* late = new QLineEdit(&form);
    late->setGeometry(4, 30, 60, 22);
    late->setReadOnly(true);
    form.show();
    ASSERT_GT(late->fontMetrics().horizontalAdvance(kLong), late->width());  // the text is longer than the edit
    late->setText(kLong);
    for (QLineEdit* e : {early, late}) {
        EXPECT_EQ(e->cursorPosition(), 0) << e->isReadOnly();
        EXPECT_EQ(e->grab().toImage(), FromStart(*e, kLong)) << e->isReadOnly();
    }
    // The same text again still moves a line edit's cursor to the end.
    late->setText(late->text());
    EXPECT_EQ(late->cursorPosition(), 0);
    late->setText(" -1.00000000000000E-0003");
    EXPECT_EQ(late->cursorPosition(), 0);

    // Typing is the user's: the cursor stays behind what was typed.
    early->clear();
    for (const char c : std::string("123456789012345678")) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_0 + (c - '0'), Qt::NoModifier, QString(QChar(c)));
        QApplication::sendEvent(early, &key);
    }
    EXPECT_EQ(early->text(), "123456789012345678");
    EXPECT_EQ(early->cursorPosition(), 18);
    // So is a selection the program makes for the user.
    late->setSelection(3, 4);
    EXPECT_EQ(late->selectedText(), late->text().mid(3, 4));
}

// A summary edit keeps the full text (what is selected and copied) and shows the
// short form, drawn as a plain edit would draw it, until some text is selected;
// without a short form it is a plain edit.
TEST(EditText, SummaryEditShowsItsShortFormAndKeepsTheText) {
    QWidget form;
    form.resize(240, 120);
    auto* e = new TSummaryEdit(&form);
    e->setGeometry(4, 4, 86, 22);
    e->setReadOnly(true);
    form.show();
    e->SetTexts(kLong, "5.6400E+0003");
    EXPECT_EQ(e->text(), kLong);
    EXPECT_EQ(e->Shown(), "5.6400E+0003");
    EXPECT_EQ(e->grab().toImage(), FromStart(*e, "5.6400E+0003"));
    EXPECT_NE(e->grab().toImage(), FromStart(*e, kLong));
    // Selected, the text itself shows, as the user copies it.
    e->selectAll();
    EXPECT_EQ(e->selectedText(), kLong);
    EXPECT_NE(e->grab().toImage(), FromStart(*e, "5.6400E+0003"));
    e->deselect();
    EXPECT_EQ(e->grab().toImage(), FromStart(*e, "5.6400E+0003"));
    e->SetTexts("12", "12");
    EXPECT_EQ(e->Shown(), "12");
    EXPECT_EQ(e->grab().toImage(), FromStart(*e, "12"));
    e->SetTexts({}, {});
    EXPECT_TRUE(e->text().isEmpty());
    EXPECT_EQ(e->grab().toImage(), FromStart(*e, ""));
}
