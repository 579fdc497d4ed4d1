// Every modal dialog of the window program runs through RunModal, so that a
// test can answer message boxes, file, colour and folder dialogs without a
// real modal loop.
#pragma once

#include <functional>

class QDialog;

namespace zantrel {

// Returns the dialog's result as QDialog::exec() would (for a QMessageBox,
// the button pressed).
using ModalRunner = std::function<int(QDialog& dialog)>;

// Replaces how dialogs are run; an empty runner restores QDialog::exec().
void SetModalRunner(ModalRunner runner);
int RunModal(QDialog& dialog);

} // namespace zantrel
