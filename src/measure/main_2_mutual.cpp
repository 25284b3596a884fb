// The main window's opener of the mutual-event window ("for Mutual Event").
#include <QMenu>
#include <QMenuBar>

#include "analysis/MutualAverage.h"
#include "measure/main_2.h"

void TPlatform::ConnectMutualOpener() {
    // Until the menus have their final places the item lives in a "Tool" menu.
    QMenu* tools = MainMenu1->findChild<QMenu*>("Tool1", Qt::FindDirectChildrenOnly);
    if (!tools) {
        tools = MainMenu1->addMenu("Tool");
        tools->setObjectName("Tool1");
    }
    QAction* item = tools->addAction("for Mutual Event");
    item->setObjectName("forMutualEvent1");
    connect(item, &QAction::triggered, this, &TPlatform::forMutualEvent1Click);
}

void TPlatform::forMutualEvent1Click() { OpenMutualAverage(this, State.RecordingFlag != 0); }
