// The step-log window lists the last open's lines, stays on top and frees itself.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

#include "video/DshowError1.h"
#include "video/avidshow.h"

namespace {

TEST(TDshowErrorsWindow, ListsLinesOneToTheLastAndClosesItself) {
    const auto savedIndex = DshowStepLogIndex;
    DshowStepLog[0] = "never shown";
    DshowStepLog[1] = "CoCreateInstance pGraph : S_OK";
    DshowStepLog[2] = "AddFilter(pSampleGrabber Filter)S_OK";
    DshowStepLog[3] = "WaitForCompletion : ";
    DshowStepLog[4] = "beyond the last line";
    DshowStepLogIndex = 3;
    DshowErrorsShown = false;

    QPointer<TDshowErrors> w = new TDshowErrors;
    EXPECT_TRUE(DshowErrorsShown);
    EXPECT_EQ(DshowErrors, w.data());
    EXPECT_EQ(w->windowTitle().toStdString(), "Result of DirectShow's process");
    EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(w->ErrorOfDshow->text().toStdString(), "Close");
    EXPECT_EQ(w->Memo1->toPlainText().toStdString(),
              "CoCreateInstance pGraph : S_OK\nAddFilter(pSampleGrabber Filter)S_OK\nWaitForCompletion : ");
    w->show();
    w->ErrorOfDshow->click();
    EXPECT_FALSE(DshowErrorsShown);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());
    EXPECT_EQ(DshowErrors, nullptr);

    // Before any open (-1) and with an index past the end the list stays in bounds.
    for (int index : {-1, 0, 500}) {
        DshowStepLogIndex = index;
        auto* v = new TDshowErrors;
        const int lines = v->Memo1->toPlainText().isEmpty() ? 0 : v->Memo1->blockCount();
        EXPECT_EQ(lines, index <= 0 ? 0 : 100) << index;
        delete v;
    }
    DshowErrorsShown = false;
    DshowStepLogIndex = savedIndex;
}

}  // namespace
