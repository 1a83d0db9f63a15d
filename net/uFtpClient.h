// A small blocking FTP client for the order uploads: one control connection, active data
// connections (PORT), binary type. Every call blocks until the server has answered; only the
// work events give the caller a chance to repaint. A peer that makes no progress for
// NetworkTimeoutSeconds() ends the connection with an error instead of hanging.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QIODevice;
class QTcpServer;
class QTcpSocket;

namespace Kestrin {

enum class TWorkMode { wmRead, wmWrite };

// One answer of the server: the three-digit code and the text of all its lines without the
// code (lines joined with "\n").
struct TFtpReply {
  int Code = 0;
  QString Text;
};

class TFtpClient {
 public:
  // Host, port, user and password start from the program's settings (FtpServer(),
  // FtpUser(), FtpPassword()) and may be changed before Connect().
  TFtpClient();
  ~TFtpClient();
  TFtpClient(const TFtpClient&) = delete;
  TFtpClient& operator=(const TFtpClient&) = delete;

  QString Host;
  quint16 Port = 21;
  QString Username;
  QString Password;

  // Fired for every data transfer: OnWorkBegin once with the bytes expected (the stream's
  // size for a store, 0 for a listing), then OnWork after every block with the running total.
  std::function<void(TWorkMode mode, qint64 countMax)> OnWorkBegin;
  std::function<void(TWorkMode mode, qint64 count)> OnWork;

  // Connects, reads the greeting (220) and logs in: USER (230, or 331 then PASS), TYPE I,
  // SYST. Throws EKestrinError on any failure, with the connection closed again.
  void Connect();
  // True while the control connection is open.
  bool Connected() const;
  // Closes the control connection without sending QUIT.
  void Disconnect();

  void ChangeDir(const QString& dir);  // CWD
  void MakeDir(const QString& dir);    // MKD
  // LIST of the current folder over an active data connection: the entry names (files and
  // folders), parsed from Unix-style or MS-DOS-style lines. Lines that cannot be parsed are
  // left out.
  QStringList List();
  // The raw lines of the last List().
  const QStringList& ListLines() const { return FListLines; }
  // STOR of the stream's bytes, from its start, under name.
  void Put(QIODevice& stream, const QString& name);

  // What the server said to SYST (empty when it refused).
  const QString& SystemDesc() const { return FSystemDesc; }
  // The last reply the server sent.
  const TFtpReply& LastReply() const { return FLastReply; }

  // One line of a LIST answer -> the entry's name; false for lines that name no entry
  // ("total 12", blank lines, lines in an unknown style).
  static bool ParseListLine(const QString& line, QString& name);

 private:
  void CheckConnected() const;
  static void CheckArgument(const QString& arg);
  void SendCommand(const QString& verb, const QString& arg = QString());
  TFtpReply ReadReply();
  // Sends a command and reads its reply; throws unless the code is one of expected.
  TFtpReply Command(const QString& verb, const QString& arg, std::initializer_list<int> expected);
  [[noreturn]] void FailRefused(const TFtpReply& reply);
  [[noreturn]] void FailTimeout(const QString& what);
  [[noreturn]] void FailLost(const QString& what);
  QByteArray ReadLine();
  void OpenDataListener();
  void WaitForDataConnection();
  void CloseData();
  // Runs a transfer command (LIST/STOR) up to the open data connection.
  void StartTransfer(const QString& verb, const QString& arg);
  TFtpReply FinishTransfer();

  std::unique_ptr<QTcpSocket> FControl;
  std::unique_ptr<QTcpServer> FListener;
  std::unique_ptr<QTcpSocket> FData;
  TFtpReply FLastReply;
  QString FSystemDesc;
  QStringList FListLines;
  // A transfer reply (150/125) or the final reply that came before the data connection.
  TFtpReply FPendingReply;
};

}  // namespace Kestrin
