// Fixed properties of the program: the shop's servers and the FTP account. Each has a
// compiled-in default (the local demo shop) that an environment variable overrides.
#pragma once

#include <QString>

namespace Kestrin {

struct THostPort {
  QString Host;
  quint16 Port = 0;
};

// Splits "host[:port]" (also "[v6addr]:port"); the default port applies without one.
THostPort ParseHostPort(const QString& text, quint16 defaultPort);

QString WebServer();          // KESTRIN_WEB_SERVER, host[:port], default port 80
THostPort FtpServer();        // KESTRIN_FTP_SERVER, host[:port], default port 21
QString FtpUser();            // "kestrin_ftp"
QString FtpPassword();        // KESTRIN_FTP_PASSWORD
QString BrowserProgram();     // KESTRIN_BROWSER, empty: find Chrome/Chromium, else default
int NetworkTimeoutSeconds();  // KESTRIN_NET_TIMEOUT (seconds without progress), default 30

// Folder of the running executable, ending in "/".
QString AppDir();

}  // namespace Kestrin
