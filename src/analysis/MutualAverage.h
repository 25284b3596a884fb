#pragma once
// "Processing for Mutual Event": averages the results table into units, lists and
// draws them, and fits a polynomial around the light minimum. Handlers are thin
// over mutual_event, poly_fit and mutual_graph.
#include <QWidget>

#include "analysis/mutual_event.h"
#include "analysis/mutual_graph.h"
#include "analysis/poly_fit.h"
#include "platform/background_job.h"
#include "ui_MutualAverage.h"

class QMenu;
class QAction;

class TMutual_Average : public QWidget, public Ui::TMutual_Average {
    Q_OBJECT
public:
    explicit TMutual_Average(QWidget* parent = nullptr);
    ~TMutual_Average() override;

    // Records of the last averaging (unit 0 stays zero).
    std::vector<mutual::Unit> MutualUnits;
    int MutualUnitCount() const { return MutualUnits.empty() ? 0 : static_cast<int>(MutualUnits.size()) - 1; }
    int MutualFrameCount = 0;
    int MutualUnitSize = 32;
    int FitFirstUnit = 1, FitLastUnit = 1, FitWindowFirst = 1, FitWindowLast = 1;
    mutual::GraphGeometry Graph;
    mutual::FitResult LastFit;  // the last fit or search shown
    QMenu* PopupMenu1;
    QAction* SetFirst;
    QAction* SetLast1;

    void FormCreate();
    void Button1Click();
    void DrawMutualGraph();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void Button7Click();
    void ComboBox3Change();
    void Image1MouseDown(Qt::MouseButton button, int x, int y);
    void SetFirstClick();
    void SetLast1Click();
    void Edit8Exit();
    void Edit9Exit();
    void UpDown1Click();
    void UpDown2Click();
    // The window search runs on a worker; true until its result is shown.
    bool SearchRunning() const { return search_.Running(); }
    void WaitForSearch() { search_.WaitFor(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    int Degree() const { return ComboBox4->currentIndex() + mutual::kMinDegree; }
    // A selection end typed, clicked or stepped: kept within 1..MutualUnitCount.
    void SetSelection(int first, int last);
    // "Set First" / "Set Last" at the last right click.
    void SetEndAtClick(bool first);
    void ShowFit(const mutual::FitResult& fit, bool slope);
    void ShowSearch(const mutual::FitResult& fit);
    int lastRightX_ = -1;
    std::string csvName_;
    BackgroundJob search_{this, 30, "fit"};
};

// The one window and its open flag (set by the opener, cleared on closing).
extern TMutual_Average* Mutual_Average;
extern bool MutualAverageOpen;
// The opener of the main window's "for Mutual Event": nothing while recording or
// while the window is open.
void OpenMutualAverage(QWidget* owner, bool recording);
