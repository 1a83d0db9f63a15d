// A real FTP server (tests/support/ftp_test_server.py on pyftpdlib) in a temporary folder, with
// the record of every command line it received.
#pragma once

#include <QStringList>
#include <QTemporaryDir>

#include "TestSupport.h"

namespace KestrinTest {

class TFtpTestServer {
 public:
  // Starts the server on a free loopback port; extra are failure-mode options of the script.
  bool Start(const QStringList& extra = {});
  void Stop() { FServer.Stop(); }
  quint16 Port() const { return FServer.Port(); }
  QString HostPort() const { return FServer.HostPort(); }
  // The served folder on disk.
  QString Root() const { return FDir.path() + QStringLiteral("/root"); }
  // Every command line received so far, in order.
  QStringList Commands() const;
  // The same without the login (USER, PASS, TYPE, SYST) and without PORT lines, whose
  // arguments change from run to run.
  QStringList WorkCommands() const;
  // Creates folders (ending in "/") and files (with content) under Root().
  void Create(const QStringList& entries, const QByteArray& content = "x") const;
  QTemporaryDir& Dir() { return FDir; }

 private:
  QTemporaryDir FDir;
  TServerProcess FServer;
};

}  // namespace KestrinTest
