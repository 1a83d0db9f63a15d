#include "FtpTestServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace KestrinTest {

bool TFtpTestServer::Start(const QStringList& extra) {
  QDir().mkpath(Root());
  return FServer.Start(
      SupportFile(QStringLiteral("ftp_test_server.py")),
      QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--root"), Root(),
                  QStringLiteral("--log-commands"), FDir.path() + QStringLiteral("/commands.log")} +
          extra);
}

QStringList TFtpTestServer::Commands() const {
  QFile file(FDir.path() + QStringLiteral("/commands.log"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
  return lines;
}

QStringList TFtpTestServer::WorkCommands() const {
  QStringList result;
  for (const QString& line : Commands()) {
    const QString verb = line.section(' ', 0, 0).toUpper();
    if (verb == "USER" || verb == "PASS" || verb == "TYPE" || verb == "SYST" || verb == "PORT")
      continue;
    result << line;
  }
  return result;
}

void TFtpTestServer::Create(const QStringList& entries, const QByteArray& content) const {
  for (const QString& entry : entries) {
    const QString path = Root() + '/' + entry;
    if (entry.endsWith('/')) {
      QDir().mkpath(path);
    } else {
      QDir().mkpath(QFileInfo(path).path());
      QFile file(path);
      if (file.open(QIODevice::WriteOnly)) file.write(content);
    }
  }
}

}  // namespace KestrinTest
