// The program's look: a blue office-style theme on the Fusion style, the Korean font, and
// the pictures of the tool bar and the wait indicator, drawn by the program itself.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

class QApplication;

namespace Kestrin {

// Number of tool bar icons: the seven photo types (0-6), the editor (7), the order (8).
constexpr int kToolIconCount = 9;
constexpr int kIconEdit = 7;
constexpr int kIconOrder = 8;

// Tool bar icon index, 32 x 32 (with a 64 x 64 version for high-density screens).
QIcon ToolIcon(int index);
// One icon at the given size (for tests and screenshots).
QPixmap ToolIconPixmap(int index, int size);
// The 32 x 32 picture of the wait indicator.
QPixmap WaitPicture();

// The family used for Korean text (Nanum Gothic when installed).
QString KoreanFontFamily();
// The theme's style sheet, from the program's resources.
QString StyleSheetText();
// Fusion style, the theme's palette, font and style sheet for the whole application.
void ApplyLook(QApplication& app);

}  // namespace Kestrin
