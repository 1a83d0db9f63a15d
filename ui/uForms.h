// Modal results of the program's dialogs: QDialog::exec() returns one of these.
#pragma once

namespace Kestrin {

constexpr int mrNone = 0;
constexpr int mrOk = 1;      // the dialog's action was carried out
constexpr int mrCancel = 2;  // closed without it (Esc, close button, Cancel)

}  // namespace Kestrin
