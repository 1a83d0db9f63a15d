#include "uFtpClient.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QIODevice>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

#include "common/uErrors.h"
#include "common/uSettings.h"

namespace Kestrin {

namespace {

// Waits are cut into slices so that a stalled peer is noticed and the time limit counts
// from the last progress, not from the start of the operation.
constexpr int kSliceMs = 50;
constexpr qint64 kBlockSize = 64 * 1024;
constexpr qint64 kMaxReplyLine = 64 * 1024;
// A whole reply of many lines, and a folder listing, are far below these; a peer that sends
// more without end would otherwise fill the memory while it keeps the connection busy.
constexpr qsizetype kMaxReplyLines = 1000;
constexpr qint64 kMaxListing = 16 * 1024 * 1024;

qint64 TimeoutMs() {
  return static_cast<qint64>(NetworkTimeoutSeconds()) * 1000;
}

bool SameHost(const QHostAddress& a, const QHostAddress& b) {
  bool okA = false, okB = false;
  const quint32 v4a = a.toIPv4Address(&okA);
  const quint32 v4b = b.toIPv4Address(&okB);
  if (okA && okB) return v4a == v4b;
  return a.isEqual(b, QHostAddress::TolerantConversion);
}

}  // namespace

TFtpClient::TFtpClient() {
  const THostPort server = FtpServer();
  Host = server.Host;
  Port = server.Port;
  Username = FtpUser();
  Password = FtpPassword();
}

TFtpClient::~TFtpClient() {
  Disconnect();
}

bool TFtpClient::Connected() const {
  return FControl && FControl->state() == QAbstractSocket::ConnectedState;
}

void TFtpClient::Disconnect() {
  CloseData();
  if (FControl) {
    FControl->abort();
    FControl.reset();
  }
}

void TFtpClient::CloseData() {
  if (FData) {
    FData->abort();
    FData.reset();
  }
  if (FListener) {
    FListener->close();
    FListener.reset();
  }
}

void TFtpClient::CheckConnected() const {
  if (!Connected()) throw EKestrinError(QStringLiteral("FTP 서버에 연결되어 있지 않습니다"));
}

void TFtpClient::FailRefused(const TFtpReply& reply) {
  QString text = reply.Text.trimmed();
  if (text.isEmpty())
    text = QStringLiteral("FTP 서버가 요청을 거부했습니다 (응답 %1)").arg(reply.Code);
  throw EKestrinError(text);
}

void TFtpClient::FailTimeout(const QString& what) {
  Disconnect();
  throw EKestrinError(QStringLiteral("FTP 서버가 %1초 동안 응답하지 않아 연결을 끊었습니다 (%2)")
                          .arg(NetworkTimeoutSeconds())
                          .arg(what));
}

void TFtpClient::FailLost(const QString& what) {
  Disconnect();
  throw EKestrinError(QStringLiteral("FTP 서버와의 연결이 끊어졌습니다 (%1)").arg(what));
}

QByteArray TFtpClient::ReadLine() {
  QElapsedTimer idle;
  idle.start();
  qint64 seen = FControl->bytesAvailable();
  while (!FControl->canReadLine()) {
    if (FControl->bytesAvailable() > kMaxReplyLine) {
      Disconnect();
      throw EKestrinError(QStringLiteral("FTP 서버의 응답이 너무 깁니다"));
    }
    if (FControl->state() != QAbstractSocket::ConnectedState) {
      // A closed connection may still hold a complete line in the buffer.
      FControl->waitForReadyRead(0);
      if (FControl->canReadLine()) break;
      FailLost(QStringLiteral("응답 대기 중"));
    }
    FControl->waitForReadyRead(kSliceMs);
    if (FControl->bytesAvailable() != seen) {
      seen = FControl->bytesAvailable();
      idle.restart();
    } else if (idle.elapsed() >= TimeoutMs()) {
      FailTimeout(QStringLiteral("응답 대기 중"));
    }
  }
  QByteArray line = FControl->readLine(kMaxReplyLine + 2);
  while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
  return line;
}

TFtpReply TFtpClient::ReadReply() {
  static const QRegularExpression first(QStringLiteral("^([1-5][0-9][0-9])([ -]?)(.*)$"));
  const QString head = QString::fromUtf8(ReadLine());
  const auto m = first.match(head);
  if (!m.hasMatch()) {
    Disconnect();
    throw EKestrinError(QStringLiteral("FTP 서버의 응답을 이해할 수 없습니다: %1").arg(head));
  }
  TFtpReply reply;
  reply.Code = m.captured(1).toInt();
  QStringList lines{m.captured(3)};
  if (m.captured(2) == QLatin1String("-")) {
    // Multi-line reply: runs to a line that starts with the same code and a blank.
    const QString end = m.captured(1) + ' ';
    for (;;) {
      const QString next = QString::fromUtf8(ReadLine());
      if (next.startsWith(end) || next == m.captured(1)) {
        lines << next.mid(4);
        break;
      }
      lines << next;
      if (lines.size() > kMaxReplyLines) {
        Disconnect();
        throw EKestrinError(QStringLiteral("FTP 서버의 응답이 너무 깁니다"));
      }
    }
  }
  reply.Text = lines.join('\n');
  FLastReply = reply;
  return reply;
}

void TFtpClient::CheckArgument(const QString& arg) {
  // A line break inside an argument would let it carry a second command.
  if (arg.contains('\r') || arg.contains('\n') || arg.contains(QChar(0)))
    throw EKestrinError(
        QStringLiteral("이름에 줄바꿈 문자가 들어 있어 FTP 서버에 보낼 수 없습니다: %1")
            .arg(QString(arg).replace('\r', ' ').replace('\n', ' ').replace(QChar(0), ' ')));
}

void TFtpClient::SendCommand(const QString& verb, const QString& arg) {
  CheckArgument(arg);
  CheckConnected();
  QByteArray line = verb.toUtf8();
  if (!arg.isEmpty()) line += ' ' + arg.toUtf8();
  line += "\r\n";
  FControl->write(line);
  QElapsedTimer idle;
  idle.start();
  while (FControl->bytesToWrite() > 0) {
    const qint64 before = FControl->bytesToWrite();
    if (FControl->state() != QAbstractSocket::ConnectedState) FailLost(verb);
    FControl->waitForBytesWritten(kSliceMs);
    if (FControl->bytesToWrite() != before)
      idle.restart();
    else if (idle.elapsed() >= TimeoutMs())
      FailTimeout(verb);
  }
}

TFtpReply TFtpClient::Command(const QString& verb, const QString& arg,
                              std::initializer_list<int> expected) {
  SendCommand(verb, arg);
  const TFtpReply reply = ReadReply();
  for (int code : expected)
    if (reply.Code == code) return reply;
  FailRefused(reply);
}

void TFtpClient::Connect() {
  Disconnect();
  FSystemDesc.clear();
  FControl = std::make_unique<QTcpSocket>();
  FControl->connectToHost(Host, Port);
  if (!FControl->waitForConnected(static_cast<int>(TimeoutMs()))) {
    const bool timedOut = FControl->error() == QAbstractSocket::SocketTimeoutError ||
                          FControl->state() != QAbstractSocket::UnconnectedState;
    const QString reason =
        timedOut ? QStringLiteral("%1초 안에 응답이 없습니다").arg(NetworkTimeoutSeconds())
                 : FControl->errorString();
    Disconnect();
    throw EKestrinError(
        QStringLiteral("FTP 서버(%1:%2)에 연결할 수 없습니다: %3").arg(Host).arg(Port).arg(reason));
  }
  try {
    const TFtpReply greeting = ReadReply();
    if (greeting.Code != 220)
      throw EKestrinError(
          QStringLiteral("FTP 서버가 연결을 받지 않았습니다: %1").arg(greeting.Text.trimmed()));
    SendCommand(QStringLiteral("USER"), Username);
    TFtpReply login = ReadReply();
    if (login.Code == 331) {
      SendCommand(QStringLiteral("PASS"), Password);
      login = ReadReply();
    }
    if (login.Code != 230 && login.Code != 202)
      throw EKestrinError(
          QStringLiteral("FTP 서버에 로그인할 수 없습니다: %1").arg(login.Text.trimmed()));
    Command(QStringLiteral("TYPE"), QStringLiteral("I"), {200});
    // The system type is informative only; a server that does not tell is still usable.
    SendCommand(QStringLiteral("SYST"));
    const TFtpReply syst = ReadReply();
    if (syst.Code == 215) FSystemDesc = syst.Text;
  } catch (...) {
    Disconnect();
    throw;
  }
}

void TFtpClient::ChangeDir(const QString& dir) {
  Command(QStringLiteral("CWD"), dir, {250, 200});
}

void TFtpClient::MakeDir(const QString& dir) {
  Command(QStringLiteral("MKD"), dir, {257, 250});
}

void TFtpClient::OpenDataListener() {
  CloseData();
  FListener = std::make_unique<QTcpServer>();
  QHostAddress local = FControl->localAddress();
  bool isV4 = false;
  const quint32 v4 = local.toIPv4Address(&isV4);
  if (isV4) local = QHostAddress(v4);
  if (!FListener->listen(local, 0)) {
    const QString reason = FListener->errorString();
    CloseData();
    throw EKestrinError(QStringLiteral("데이터 연결을 준비할 수 없습니다: %1").arg(reason));
  }
  const quint16 port = FListener->serverPort();
  if (isV4) {
    const QString arg = QStringLiteral("%1,%2,%3,%4,%5,%6")
                            .arg((v4 >> 24) & 255)
                            .arg((v4 >> 16) & 255)
                            .arg((v4 >> 8) & 255)
                            .arg(v4 & 255)
                            .arg(port >> 8)
                            .arg(port & 255);
    Command(QStringLiteral("PORT"), arg, {200});
  } else {
    Command(QStringLiteral("EPRT"), QStringLiteral("|2|%1|%2|").arg(local.toString()).arg(port),
            {200});
  }
}

void TFtpClient::WaitForDataConnection() {
  QElapsedTimer idle;
  idle.start();
  while (!FData) {
    if (FListener->waitForNewConnection(kSliceMs)) {
      QTcpSocket* socket = FListener->nextPendingConnection();
      if (!socket) continue;
      socket->setParent(nullptr);
      std::unique_ptr<QTcpSocket> owned(socket);
      // Only the server we talk to may deliver the data.
      if (!SameHost(owned->peerAddress(), FControl->peerAddress())) {
        owned->abort();
        continue;
      }
      FData = std::move(owned);
      break;
    }
    if (!Connected()) FailLost(QStringLiteral("데이터 연결 대기 중"));
    if (FControl->canReadLine()) {
      // The server answered instead of connecting: that is a refusal.
      const TFtpReply reply = ReadReply();
      CloseData();
      FailRefused(reply);
    }
    if (idle.elapsed() >= TimeoutMs()) FailTimeout(QStringLiteral("데이터 연결 대기 중"));
  }
  FListener->close();
  FListener.reset();
}

void TFtpClient::StartTransfer(const QString& verb, const QString& arg) {
  CheckConnected();
  OpenDataListener();
  SendCommand(verb, arg);
  const TFtpReply reply = ReadReply();
  if (reply.Code != 125 && reply.Code != 150) {
    CloseData();
    FailRefused(reply);
  }
  WaitForDataConnection();
}

TFtpReply TFtpClient::FinishTransfer() {
  const TFtpReply reply = ReadReply();
  if (reply.Code != 226 && reply.Code != 250) FailRefused(reply);
  return reply;
}

QStringList TFtpClient::List() {
  FListLines.clear();
  // Arguments are checked before anything goes out, so that a bad name sends nothing.
  StartTransfer(QStringLiteral("LIST"), QString());
  if (OnWorkBegin) OnWorkBegin(TWorkMode::wmRead, 0);
  QByteArray data;
  QElapsedTimer idle;
  idle.start();
  for (;;) {
    if (FData->bytesAvailable() > 0) {
      data += FData->readAll();
      if (data.size() > kMaxListing) {
        Disconnect();
        throw EKestrinError(QStringLiteral("FTP 서버의 폴더 목록이 너무 깁니다"));
      }
      idle.restart();
      if (OnWork) OnWork(TWorkMode::wmRead, data.size());
      continue;
    }
    if (FData->state() != QAbstractSocket::ConnectedState) break;
    if (!FData->waitForReadyRead(kSliceMs)) {
      if (FData->bytesAvailable() > 0) continue;
      if (FData->state() != QAbstractSocket::ConnectedState) break;
      if (!Connected()) FailLost(QStringLiteral("LIST"));
      if (idle.elapsed() >= TimeoutMs()) FailTimeout(QStringLiteral("LIST"));
    }
  }
  CloseData();
  FinishTransfer();
  QStringList names;
  for (const QByteArray& raw : data.split('\n')) {
    QByteArray line = raw;
    while (line.endsWith('\r')) line.chop(1);
    if (line.isEmpty()) continue;
    const QString text = QString::fromUtf8(line);
    FListLines << text;
    QString name;
    if (ParseListLine(text, name)) names << name;
  }
  return names;
}

void TFtpClient::Put(QIODevice& stream, const QString& name) {
  if (!stream.isOpen() || !stream.isReadable())
    throw EKestrinError(QStringLiteral("전송할 데이터를 읽을 수 없습니다: %1").arg(name));
  if (!stream.isSequential() && !stream.seek(0))
    throw EKestrinError(QStringLiteral("전송할 데이터를 처음부터 읽을 수 없습니다: %1").arg(name));
  CheckArgument(name);
  StartTransfer(QStringLiteral("STOR"), name);
  const qint64 size = stream.isSequential() ? 0 : stream.size();
  if (OnWorkBegin) OnWorkBegin(TWorkMode::wmWrite, size);
  QByteArray block(kBlockSize, Qt::Uninitialized);
  qint64 total = 0;
  bool dataLost = false;
  for (;;) {
    const qint64 n = stream.read(block.data(), kBlockSize);
    if (n < 0) {
      CloseData();
      throw EKestrinError(QStringLiteral("전송할 데이터를 읽지 못했습니다: %1").arg(name));
    }
    if (n == 0) break;
    FData->write(block.constData(), n);
    QElapsedTimer idle;
    idle.start();
    while (FData->bytesToWrite() > 0) {
      if (FData->state() != QAbstractSocket::ConnectedState) {
        dataLost = true;
        break;
      }
      const qint64 before = FData->bytesToWrite();
      FData->waitForBytesWritten(kSliceMs);
      if (FData->bytesToWrite() != before)
        idle.restart();
      else if (idle.elapsed() >= TimeoutMs())
        FailTimeout(QStringLiteral("STOR %1").arg(name));
    }
    if (dataLost) break;
    total += n;
    if (OnWork) OnWork(TWorkMode::wmWrite, total);
  }
  if (dataLost) {
    // The server ended the data connection early: its reply says why, if it still talks.
    CloseData();
    if (!Connected()) FailLost(QStringLiteral("STOR %1").arg(name));
    const TFtpReply reply = ReadReply();
    if (reply.Code >= 400) FailRefused(reply);
    throw EKestrinError(QStringLiteral("파일 전송 중 데이터 연결이 끊어졌습니다: %1").arg(name));
  }
  // Closing the data connection marks the end of the file.
  FData->disconnectFromHost();
  if (FData->state() != QAbstractSocket::UnconnectedState) {
    QElapsedTimer idle;
    idle.start();
    while (FData->state() != QAbstractSocket::UnconnectedState) {
      FData->waitForDisconnected(kSliceMs);
      if (idle.elapsed() >= TimeoutMs()) FailTimeout(QStringLiteral("STOR %1").arg(name));
    }
  }
  CloseData();
  FinishTransfer();
}

bool TFtpClient::ParseListLine(const QString& line, QString& name) {
  QString s = line;
  while (s.endsWith('\r') || s.endsWith('\n')) s.chop(1);
  if (s.trimmed().isEmpty()) return false;

  // MS-DOS style: "12-11-26  03:20PM       <DIR>          name with blanks"
  static const QRegularExpression dos(QStringLiteral(
      "^\\d{1,2}-\\d{1,2}-\\d{2,4}\\s+\\d{1,2}:\\d{2}(?::\\d{2})?\\s*(?:[AaPp][Mm])?\\s+"
      "(?:<DIR>|\\d+)\\s+(.+)$"));
  const auto dm = dos.match(s);
  if (dm.hasMatch()) {
    name = dm.captured(1);
    return !name.isEmpty();
  }

  // Unix style: "drwxr-xr-x  2 owner group  4096 Dec 11 15:20 name with blanks"; the name
  // follows the date (month, day, time or year) after one blank.
  static const QRegularExpression perms(QStringLiteral("^[-dlbcpsD][-rwxsStTlL]{9}[+.@]?\\s"));
  if (!perms.match(s).hasMatch()) return false;
  struct TToken {
    int Start, End;
  };
  std::vector<TToken> tokens;
  int i = 0;
  const int n = static_cast<int>(s.size());
  static const QStringList months{"jan", "feb", "mar", "apr", "may", "jun",
                                  "jul", "aug", "sep", "oct", "nov", "dec"};
  static const QRegularExpression dayRe(QStringLiteral("^\\d{1,2}$"));
  static const QRegularExpression timeOrYear(QStringLiteral("^(\\d{1,2}:\\d{2}|\\d{4})$"));
  while (i < n) {
    while (i < n && s[i].isSpace()) ++i;
    if (i >= n) break;
    const int start = i;
    while (i < n && !s[i].isSpace()) ++i;
    tokens.push_back({start, i});
    const size_t k = tokens.size();
    if (k >= 5) {
      const TToken& mon = tokens[k - 3];
      const QString monText = s.mid(mon.Start, mon.End - mon.Start).left(3).toLower();
      if (months.contains(monText) &&
          dayRe.match(s.mid(tokens[k - 2].Start, tokens[k - 2].End - tokens[k - 2].Start))
              .hasMatch() &&
          timeOrYear.match(s.mid(tokens[k - 1].Start, tokens[k - 1].End - tokens[k - 1].Start))
              .hasMatch()) {
        if (i >= n) return false;
        name = s.mid(i + 1);
        if (s[0] == 'l') {
          const int arrow = name.indexOf(QLatin1String(" -> "));
          if (arrow >= 0) name.truncate(arrow);
        }
        return !name.isEmpty();
      }
    }
  }
  return false;
}

}  // namespace Kestrin
