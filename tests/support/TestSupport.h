// Helpers shared by the tests: real servers in child processes, test photos, temp folders.
#pragma once

#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace KestrinTest {

// Debian's Python, which sees Debian's python3-pyftpdlib.
QString SystemPython();

// A server script run by SystemPython(). The script must print its listening port as the
// first line on stdout ("PORT <n>"); Start() waits for that line (up to 20 s) and fails the
// test otherwise. The process is killed when the object goes.
class TServerProcess {
 public:
  TServerProcess() = default;
  ~TServerProcess();
  TServerProcess(const TServerProcess&) = delete;
  TServerProcess& operator=(const TServerProcess&) = delete;

  // Returns false (and records a test failure) when the server did not come up.
  bool Start(const QString& script, const QStringList& args = {});
  void Stop();
  quint16 Port() const { return FPort; }
  QString HostPort() const { return QStringLiteral("127.0.0.1:%1").arg(FPort); }
  // Everything the server wrote to stderr so far (its log).
  QString Log();

 private:
  std::unique_ptr<QProcess> FProcess;
  quint16 FPort = 0;
  QString FLog;
};

// Path of a file in tests/support.
QString SupportFile(const QString& name);

// A photo with a recognisable pattern (gradients and a few solid blocks), opaque.
QImage MakePatternImage(int width, int height, unsigned seed = 1);
// Writes image as a JPEG (quality 90) to path; fails the test on error.
void WriteJpeg(const QImage& image, const QString& path, int quality = 90);

}  // namespace KestrinTest
