// The one exception type of the program: a failure whose text the user can read.
#pragma once

#include <QString>
#include <stdexcept>

namespace Kestrin {

// Network, file and decoding failures are raised as EKestrinError. The text is the
// user-facing message (Korean where the program words it, the peer's own text where
// a server or the system supplied it).
class EKestrinError : public std::runtime_error {
 public:
  explicit EKestrinError(const QString& text)
      : std::runtime_error(text.toStdString()), FText(text) {}
  const QString& Text() const noexcept { return FText; }

 private:
  QString FText;
};

// The text of any exception as the user should read it.
QString ErrorText(const std::exception& e);

}  // namespace Kestrin
