#pragma once
// Writes from other windows into the Fresnel panel's parameter edits. The panel
// takes over the next change of such an edit (ExternalEditPending), so a value
// written here is applied as if entered, also when the edit already shows it.
// Nothing happens while the panel is closed (no diffraction mode).
#include <string>

namespace fresnelwrite {

enum class PanelEdit { Distance, Velocity, ContactAngle };  // Edit1, Edit2, Edit8

void WritePanelEdit(PanelEdit edit, const std::string& text);

}  // namespace fresnelwrite
