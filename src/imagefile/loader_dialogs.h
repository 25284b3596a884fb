#pragma once
// Lets the loaders ask through the dialog service: the HIPS plane question as an
// input box and the icon selection window. The main window installs them; tests
// set the loaders' hooks themselves.
namespace imagefile {
void InstallImageLoaderDialogs();
}
