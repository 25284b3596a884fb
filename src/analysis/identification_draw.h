#pragma once
// The identification label on a picture: "Arial" 9 points bold (12 pixels, as
// the class library sizes fonts at 96 dots per inch), black on the picture's own
// white text background, its top-left corner at (x, y). Before the label is
// written the picture takes back the clean copy kept beside it, so a label moved
// or changed leaves no trace of the old one. User-interface thread only (fonts).
#include <QImage>
#include <QRect>
#include <string>

class QFont;

namespace identification {

QFont IdTextFont();
// The box the label covers at (x, y) (empty for an empty text).
QRect IdTextBox(const std::string& text, int x, int y);
// DrawIdText: `backupRect` of `target` restored from `backup`, then the label.
void DrawIdText(QImage& target, const QImage& backup, const QRect& backupRect, const std::string& text, int x, int y);

}  // namespace identification
