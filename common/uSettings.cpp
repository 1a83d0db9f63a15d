#include "uSettings.h"

#include <QCoreApplication>
#include <QDir>

#include "uErrors.h"

namespace Kestrin {

QString ErrorText(const std::exception& e) {
  if (auto* k = dynamic_cast<const EKestrinError*>(&e)) return k->Text();
  if (dynamic_cast<const std::bad_alloc*>(&e))
    return QStringLiteral("메모리가 부족하여 작업을 완료할 수 없습니다");
  return QString::fromUtf8(e.what());
}

namespace {
QString EnvOr(const char* name, const QString& fallback) {
  const QString v = qEnvironmentVariable(name);
  return v.isEmpty() ? fallback : v;
}
}  // namespace

THostPort ParseHostPort(const QString& text, quint16 defaultPort) {
  THostPort r{text.trimmed(), defaultPort};
  int colon = -1;
  if (r.Host.startsWith('[')) {
    const int close = r.Host.indexOf(']');
    if (close > 0 && close + 1 < r.Host.size() && r.Host[close + 1] == ':') colon = close + 1;
  } else if (r.Host.count(':') == 1) {
    colon = r.Host.indexOf(':');
  }
  if (colon >= 0) {
    bool ok = false;
    const uint port = r.Host.mid(colon + 1).toUInt(&ok);
    if (ok && port > 0 && port < 65536) r.Port = static_cast<quint16>(port);
    r.Host.truncate(colon);
  }
  if (r.Host.startsWith('[') && r.Host.endsWith(']')) r.Host = r.Host.mid(1, r.Host.size() - 2);
  return r;
}

QString WebServer() {
  return EnvOr("KESTRIN_WEB_SERVER", QStringLiteral(KESTRIN_DEFAULT_WEB_SERVER));
}

THostPort FtpServer() {
  return ParseHostPort(EnvOr("KESTRIN_FTP_SERVER", QStringLiteral(KESTRIN_DEFAULT_FTP_SERVER)), 21);
}

QString FtpUser() {
  return QStringLiteral("kestrin_ftp");
}

QString FtpPassword() {
  return EnvOr("KESTRIN_FTP_PASSWORD", QStringLiteral(KESTRIN_DEFAULT_FTP_PASSWORD));
}

QString BrowserProgram() {
  return qEnvironmentVariable("KESTRIN_BROWSER");
}

int NetworkTimeoutSeconds() {
  bool ok = false;
  const int v = qEnvironmentVariableIntValue("KESTRIN_NET_TIMEOUT", &ok);
  return ok && v > 0 ? v : 30;
}

QString AppDir() {
  QString dir = QCoreApplication::applicationDirPath();
  if (dir.isEmpty()) dir = QDir::currentPath();
  return dir.endsWith('/') ? dir : dir + '/';
}

}  // namespace Kestrin
