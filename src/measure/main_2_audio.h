#pragma once
// The main window's side of the audio channel display: the extraction road of
// "Audio Channel Display" and the hooks the frame pipeline, the video opening
// and the closing call (each a single call from its place).
#include <cstdint>

class QWidget;
class TPlatform;

// The audio of the open video has not been copied yet; the copy runs; how the
// last copy ended.
extern uint8_t WavExtractionPending, WavExtracting, WavExtracted;

// "Audio Channel Display": may it run now (a video, no measurement records, the
// display not shown).
bool AudioDisplayGuard(const TPlatform& p);
// The extraction road; the display (already initialised and drawn) or null when
// nothing is to be shown.
QWidget* OpenAudioDisplay(TPlatform& p);
// The display redrawn for the main window's frame position, when it is shown.
void AudioFrameChanged(TPlatform& p);
// The audio part of the signal detection of a frame: the display's decision and
// share into the three lines while the signal boxes are on and it is shown.
void AudioSignalOverride(TPlatform& p);
// A video was opened: the old copy goes, the next press copies anew.
void AudioVideoOpened(TPlatform& p);
// The open dialog is refused while the display is shown or the copy runs.
bool AudioBlocksVideoOpen();
// The main window closes: the copy goes.
void AudioMainClosing();
