#include "ui/modal.h"

#include <QDialog>

namespace zantrel {

namespace {
ModalRunner g_runner;
}

void SetModalRunner(ModalRunner runner) { g_runner = std::move(runner); }

int RunModal(QDialog& dialog) { return g_runner ? g_runner(dialog) : dialog.exec(); }

} // namespace zantrel
