#include "graph/fresnel_write.h"

#include "graph/FresnelCtrl1.h"
#include "graph/graph_view.h"
#include "platform/qt_text.h"

namespace fresnelwrite {

void WritePanelEdit(PanelEdit edit, const std::string& text) {
    if (!Graph.DiffractionMode || !FresnelCtrl) return;
    TFresnelCtrl& p = *FresnelCtrl;
    QLineEdit* e = edit == PanelEdit::Distance ? p.Edit1 : edit == PanelEdit::Velocity ? p.Edit2 : p.Edit8;
    FresnelPanel.ExternalEditPending = 1;
    e->setText(QStr(text));
    // The same text makes no change for the panel to take over: apply it here,
    // so that the value counts as entered and the flag does not linger.
    if (!FresnelPanel.ExternalEditPending) return;
    switch (edit) {
        case PanelEdit::Distance: p.Edit1Apply(); break;
        case PanelEdit::Velocity: p.Edit2Apply(true); break;
        case PanelEdit::ContactAngle: p.Edit8Apply(true); break;
    }
}

}  // namespace fresnelwrite
