// Every message box of the program goes through here, so that there is one place that
// words the standard error message and one place where tests can see and answer boxes.
#pragma once

#include <QMessageBox>
#include <QString>
#include <exception>
#include <functional>

class QWidget;

namespace Kestrin {

// The application title: caption of the standard error message and of the login refusals.
QString AppTitle();

enum class TMsgIcon { None, Information, Warning, Error };

struct TMessageBoxRequest {
  QString Caption;
  QString Text;
  TMsgIcon Icon = TMsgIcon::None;
  QMessageBox::StandardButtons Buttons = QMessageBox::Ok;
  QMessageBox::StandardButton DefaultButton = QMessageBox::NoButton;
};

// Shows a modal message box owned by parent (or the active window) and returns the button
// pressed. With a hook installed the hook answers instead and no window appears.
QMessageBox::StandardButton ShowMessageBox(QWidget* parent, const TMessageBoxRequest& request);

// Convenience forms used by the windows.
void ShowInfo(QWidget* parent, const QString& caption, const QString& text);  // OK, no icon
QMessageBox::StandardButton AskWarningYesNo(QWidget* parent, const QString& caption,
                                            const QString& text);  // Yes default

// The standard error message: the text with a full stop appended when its last character
// sorts after ".", caption AppTitle(), error icon, OK.
QString StandardErrorText(const QString& text);
void ShowStandardError(QWidget* parent, const QString& text);

// Runs one event handler. An exception that escapes it ends the handler and is reported
// with the standard error message; the window stays usable.
void GuardHandler(QWidget* parent, const std::function<void()>& handler);

// Test hook: receives every box instead of the user; returns the button to press.
using TMessageHook = std::function<QMessageBox::StandardButton(const TMessageBoxRequest&)>;
void SetMessageHook(TMessageHook hook);

}  // namespace Kestrin
