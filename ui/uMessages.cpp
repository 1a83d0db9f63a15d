#include "uMessages.h"

#include <QApplication>
#include <QWidget>

#include "uErrors.h"

namespace Kestrin {

namespace {
TMessageHook& Hook() {
  static TMessageHook hook;
  return hook;
}
}  // namespace

QString AppTitle() {
  return QStringLiteral("Kestrin 증명사진");
}

void SetMessageHook(TMessageHook hook) {
  Hook() = std::move(hook);
}

QMessageBox::StandardButton ShowMessageBox(QWidget* parent, const TMessageBoxRequest& request) {
  if (Hook()) return Hook()(request);
  if (!parent) parent = QApplication::activeWindow();
  QMessageBox box(parent);
  // An empty title would make the window system show the program's name instead; a blank
  // keeps the caption visibly empty, as the message asks.
  box.setWindowTitle(request.Caption.isEmpty() ? QStringLiteral(" ") : request.Caption);
  box.setText(request.Text);
  switch (request.Icon) {
    case TMsgIcon::None:
      box.setIcon(QMessageBox::NoIcon);
      break;
    case TMsgIcon::Information:
      box.setIcon(QMessageBox::Information);
      break;
    case TMsgIcon::Warning:
      box.setIcon(QMessageBox::Warning);
      break;
    case TMsgIcon::Error:
      box.setIcon(QMessageBox::Critical);
      break;
  }
  box.setStandardButtons(request.Buttons);
  if (request.DefaultButton != QMessageBox::NoButton) box.setDefaultButton(request.DefaultButton);
  // The box must stay reachable even when the cursor was set to busy around it.
  const bool overridden = QApplication::overrideCursor() != nullptr;
  if (overridden) QApplication::setOverrideCursor(Qt::ArrowCursor);
  const int r = box.exec();
  if (overridden) QApplication::restoreOverrideCursor();
  return static_cast<QMessageBox::StandardButton>(r);
}

void ShowInfo(QWidget* parent, const QString& caption, const QString& text) {
  ShowMessageBox(parent, {caption, text, TMsgIcon::None, QMessageBox::Ok, QMessageBox::Ok});
}

QMessageBox::StandardButton AskWarningYesNo(QWidget* parent, const QString& caption,
                                            const QString& text) {
  return ShowMessageBox(parent, {caption, text, TMsgIcon::Warning,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes});
}

QString StandardErrorText(const QString& text) {
  if (!text.isEmpty() && text.back() > QChar('.')) return text + '.';
  return text;
}

void ShowStandardError(QWidget* parent, const QString& text) {
  ShowMessageBox(parent, {AppTitle(), StandardErrorText(text), TMsgIcon::Error, QMessageBox::Ok,
                          QMessageBox::Ok});
}

void GuardHandler(QWidget* parent, const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    ShowStandardError(parent, ErrorText(e));
  } catch (...) {
    ShowStandardError(parent, QStringLiteral("알 수 없는 오류가 발생했습니다"));
  }
}

}  // namespace Kestrin
