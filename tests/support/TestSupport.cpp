#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>

namespace KestrinTest {

QString SystemPython() {
  return QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                           : QStringLiteral("python3");
}

QString SupportFile(const QString& name) {
  return QStringLiteral(KESTRIN_TEST_SUPPORT_DIR) + '/' + name;
}

TServerProcess::~TServerProcess() {
  Stop();
}

bool TServerProcess::Start(const QString& script, const QStringList& args) {
  Stop();
  FProcess = std::make_unique<QProcess>();
  FProcess->setProgram(SystemPython());
  FProcess->setArguments(QStringList{QStringLiteral("-u"), script} + args);
  FProcess->start();
  if (!FProcess->waitForStarted(10000)) {
    ADD_FAILURE() << "server did not start: " << script.toStdString();
    return false;
  }
  QElapsedTimer timer;
  timer.start();
  QByteArray out;
  while (timer.elapsed() < 20000) {
    FProcess->waitForReadyRead(200);
    out += FProcess->readAllStandardOutput();
    const int nl = out.indexOf('\n');
    if (nl >= 0) {
      const QByteArray line = out.left(nl).trimmed();
      if (line.startsWith("PORT ")) {
        FPort = static_cast<quint16>(line.mid(5).toUInt());
        return FPort != 0;
      }
    }
    if (FProcess->state() == QProcess::NotRunning) break;
  }
  ADD_FAILURE() << "server did not report its port: " << script.toStdString() << "\n"
                << FProcess->readAllStandardError().toStdString();
  return false;
}

void TServerProcess::Stop() {
  if (!FProcess) return;
  if (FProcess->state() != QProcess::NotRunning) {
    FProcess->terminate();
    if (!FProcess->waitForFinished(3000)) {
      FProcess->kill();
      FProcess->waitForFinished(3000);
    }
  }
  FLog += QString::fromUtf8(FProcess->readAllStandardError());
  FProcess.reset();
}

QString TServerProcess::Log() {
  if (FProcess) FLog += QString::fromUtf8(FProcess->readAllStandardError());
  return FLog;
}

QImage MakePatternImage(int width, int height, unsigned seed) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      const int r = (x * 255) / std::max(1, width - 1);
      const int g = (y * 255) / std::max(1, height - 1);
      const int b = static_cast<int>(((x / 16 + y / 16 + seed) % 2) * 160 + seed * 37 % 90);
      line[x] = qRgb(r, g, b & 255);
    }
  }
  return image;
}

void WriteJpeg(const QImage& image, const QString& path, int quality) {
  QImageWriter writer(path, "jpeg");
  writer.setQuality(quality);
  ASSERT_TRUE(writer.write(image)) << writer.errorString().toStdString();
}

}  // namespace KestrinTest
