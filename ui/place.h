// The main window's size, place and maximised state, kept per user
// (QSettings), not in the start folder.
#pragma once

class QWidget;

namespace zantrel {

// Puts the window where the last run left it, brought onto the screens there
// are now; true when it was maximised. False, the window untouched, when
// nothing was kept.
bool RestoreWindowPlace(QWidget& window);
// Keeps the window's normal size and place and whether it is maximised.
void SaveWindowPlace(const QWidget& window);

} // namespace zantrel
