// The FTP client and the folder walk against a real FTP server (pyftpdlib).
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include "FtpTestServer.h"
#include "common/uErrors.h"
#include "net/uFtpClient.h"
#include "order/uUtils.h"

using namespace Kestrin;
using namespace KestrinTest;

namespace {

void Aim(TFtpClient& ftp, const TFtpTestServer& server) {
  ftp.Host = QStringLiteral("127.0.0.1");
  ftp.Port = server.Port();
}

// Sets KESTRIN_NET_TIMEOUT for one test.
struct TTimeoutScope {
  explicit TTimeoutScope(int seconds) {
    qputenv("KESTRIN_NET_TIMEOUT", QByteArray::number(seconds));
  }
  ~TTimeoutScope() { qunsetenv("KESTRIN_NET_TIMEOUT"); }
};

QString ErrorOf(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const EKestrinError& e) {
    return e.Text();
  }
  return QString();
}

}  // namespace

TEST(FtpClient, LogsInWithTheAccountAndStoresBytesWithWorkEvents) {
  TFtpTestServer server;
  ASSERT_TRUE(server.Start());
  TFtpClient ftp;
  Aim(ftp, server);
  EXPECT_EQ(ftp.Username, "kestrin_ftp");
  ftp.Connect();
  ASSERT_TRUE(ftp.Connected());
  EXPECT_EQ(server.Commands(), (QStringList{"USER kestrin_ftp", "PASS Kq7demo", "TYPE I", "SYST"}));
  EXPECT_TRUE(ftp.SystemDesc().contains("UNIX")) << ftp.SystemDesc().toStdString();

  QByteArray payload(300 * 1024 + 17, Qt::Uninitialized);
  for (int i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7 + i / 251);
  QBuffer stream(&payload);
  stream.open(QIODevice::ReadOnly);
  stream.seek(1000);  // Put starts at the beginning whatever the position
  std::vector<std::pair<char, qint64>> events;
  ftp.OnWorkBegin = [&](TWorkMode m, qint64 max) {
    events.push_back({m == TWorkMode::wmWrite ? 'B' : 'b', max});
  };
  ftp.OnWork = [&](TWorkMode m, qint64 n) {
    events.push_back({m == TWorkMode::wmWrite ? 'W' : 'w', n});
  };
  ftp.Put(stream, QStringLiteral("two words.bin"));

  QFile stored(server.Root() + "/two words.bin");
  ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
  EXPECT_EQ(stored.readAll(), payload);
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events.front(), (std::pair<char, qint64>{'B', payload.size()}));
  for (size_t i = 2; i < events.size(); ++i) {
    EXPECT_EQ(events[i].first, 'W');
    EXPECT_GT(events[i].second, events[i - 1].second);
  }
  EXPECT_EQ(events.back().second, payload.size());

  // A listing reports a maximum of 0 and reads until the server closes.
  events.clear();
  const QStringList names = ftp.List();
  EXPECT_EQ(names, QStringList{"two words.bin"});
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front(), (std::pair<char, qint64>{'b', 0}));

  ftp.Disconnect();
  EXPECT_FALSE(ftp.Connected());
  EXPECT_FALSE(server.Commands().contains("QUIT"));
}

// The exact commands of the folder walk for the situations the order meets.
TEST(FtpClient, ForceFtpDirSendsTheExpectedCommands) {
  struct TCase {
    const char* Name;
    QStringList Existing;
    QString Path;
    QStringList Expected;
    bool Fails;
    QString Final;  // folder the client stands in afterwards
  };
  const QStringList walkNone{"CWD /",        "LIST",         "MKD images", "CWD images",
                             "LIST",         "MKD thumbs",   "CWD thumbs", "LIST",
                             "MKD 20261211", "CWD 20261211", "LIST",       "MKD guest",
                             "CWD guest"};
  const std::vector<TCase> cases = {
      {"nothing exists",
       {},
       "/images/thumbs/20261211/guest",
       walkNone,
       false,
       "/images/thumbs/20261211/guest"},
      {"all exist",
       {"images/thumbs/20261211/guest/"},
       "/images/thumbs/20261211/guest",
       {"CWD /", "LIST", "CWD images", "LIST", "CWD thumbs", "LIST", "CWD 20261211", "LIST",
        "CWD guest"},
       false,
       "/images/thumbs/20261211/guest"},
      {"a file stands in the way",
       {"images"},
       "/images/thumbs",
       {"CWD /", "LIST", "CWD images"},
       true,
       ""},
      {"letter case counts",
       {"Images/"},
       "/images",
       {"CWD /", "LIST", "MKD images", "CWD images"},
       false,
       "/images"},
      {"blanks belong to the name",
       {"test_images/"},
       "/test_images/20261211 1/kim  chul ",
       {"CWD /", "LIST", "CWD test_images", "LIST", "MKD 20261211 1", "CWD 20261211 1", "LIST",
        "MKD kim  chul ", "CWD kim  chul "},
       false,
       "/test_images/20261211 1/kim  chul "},
      {"relative, doubled and trailing slashes",
       {"base/"},
       "base//new/ /",
       {"LIST", "CWD base", "LIST", "MKD new", "CWD new"},
       false,
       "/base/new"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TFtpTestServer server;
    ASSERT_TRUE(server.Start());
    server.Create(c.Existing);
    TFtpClient ftp;
    Aim(ftp, server);
    ftp.Connect();
    const QString error = ErrorOf([&] { ForceFtpDir(ftp, c.Path); });
    EXPECT_EQ(server.WorkCommands(), c.Expected);
    if (c.Fails) {
      EXPECT_FALSE(error.isEmpty());
    } else {
      EXPECT_TRUE(error.isEmpty()) << error.toStdString();
      // The client now stands in the folder: a store lands there.
      QByteArray bytes("here");
      QBuffer stream(&bytes);
      stream.open(QIODevice::ReadOnly);
      ftp.Put(stream, QStringLiteral("marker"));
      EXPECT_TRUE(QFileInfo::exists(server.Root() + c.Final + "/marker"));
    }
  }
}

TEST(FtpClient, ReadsMsDosStyleListings) {
  TFtpTestServer server;
  ASSERT_TRUE(server.Start({"--msdos-list"}));
  server.Create({"my photos/", "a b.jpg", "20261211/"});
  TFtpClient ftp;
  Aim(ftp, server);
  ftp.Connect();
  QStringList names = ftp.List();
  names.sort();
  EXPECT_EQ(names, (QStringList{"20261211", "a b.jpg", "my photos"}));
  ASSERT_EQ(ftp.ListLines().size(), 3);
  EXPECT_TRUE(ftp.ListLines()[0].contains("M ")) << ftp.ListLines()[0].toStdString();
  // Existing folders are found, so the walk makes none.
  ForceFtpDir(ftp, QStringLiteral("/my photos"));
  EXPECT_FALSE(server.WorkCommands().join('\n').contains("MKD"));
}

TEST(FtpClient, RefusalsCarryTheServersText) {
  TFtpTestServer server;
  ASSERT_TRUE(server.Start({"--refuse", "MKD", "--refuse", "CWD=locked", "--refuse", "STOR"}));
  server.Create({"locked/"});
  TFtpClient ftp;
  Aim(ftp, server);
  ftp.Connect();
  EXPECT_EQ(ErrorOf([&] { ftp.MakeDir("x"); }), "Refused by test server.");
  EXPECT_EQ(ErrorOf([&] { ForceFtpDir(ftp, "/locked"); }), "Refused by test server.");
  QByteArray bytes("abc");
  QBuffer stream(&bytes);
  stream.open(QIODevice::ReadOnly);
  EXPECT_EQ(ErrorOf([&] { ftp.Put(stream, "f.jpg"); }), "Refused by test server.");
  // A refusal leaves the connection usable.
  EXPECT_TRUE(ftp.Connected());
  EXPECT_NO_THROW(ftp.ChangeDir("/"));

  TFtpClient wrong;
  Aim(wrong, server);
  wrong.Password = QStringLiteral("wrong12");
  const QString error = ErrorOf([&] { wrong.Connect(); });
  EXPECT_TRUE(error.contains("Authentication failed")) << error.toStdString();
  EXPECT_FALSE(wrong.Connected());

  TFtpClient nobody;
  nobody.Host = QStringLiteral("127.0.0.1");
  nobody.Port = 1;  // nothing listens there
  const QString refused = ErrorOf([&] { nobody.Connect(); });
  EXPECT_TRUE(refused.startsWith("FTP 서버(127.0.0.1:1)에 연결할 수 없습니다"))
      << refused.toStdString();
}

// A server that stops answering ends the call after the time limit, with the connection closed.
TEST(FtpClient, SilentServerTimesOut) {
  TTimeoutScope timeout(1);
  for (const char* hang : {"GREETING", "LIST", "STOR"}) {
    SCOPED_TRACE(hang);
    TFtpTestServer server;
    ASSERT_TRUE(server.Start({"--hang-on", hang}));
    TFtpClient ftp;
    Aim(ftp, server);
    QElapsedTimer timer;
    timer.start();
    const QString error = ErrorOf([&] {
      ftp.Connect();
      if (QByteArray(hang) == "LIST") ftp.List();
      QByteArray bytes("abc");
      QBuffer stream(&bytes);
      stream.open(QIODevice::ReadOnly);
      ftp.Put(stream, "x");
    });
    EXPECT_TRUE(error.contains("1초 동안 응답하지 않아")) << error.toStdString();
    EXPECT_LT(timer.elapsed(), 15000);
    EXPECT_FALSE(ftp.Connected());
  }
}

TEST(FtpClient, DroppedConnectionDuringStoreIsAnError) {
  TFtpTestServer server;
  ASSERT_TRUE(server.Start({"--drop-stor-after", "100000"}));
  TFtpClient ftp;
  Aim(ftp, server);
  ftp.Connect();
  QByteArray payload(4 * 1024 * 1024, 'k');
  QBuffer stream(&payload);
  stream.open(QIODevice::ReadOnly);
  const QString error = ErrorOf([&] { ftp.Put(stream, "big.jpg"); });
  EXPECT_TRUE(error.contains("연결이 끊어졌습니다")) << error.toStdString();
  EXPECT_FALSE(ftp.Connected());
}

// A listing that never ends is cut off with an error instead of filling the memory.
TEST(FtpClient, EndlessListingIsAnError) {
  TFtpTestServer server;
  ASSERT_TRUE(server.Start({"--endless-list"}));
  TFtpClient ftp;
  Aim(ftp, server);
  ftp.Connect();
  const QString error = ErrorOf([&] { ForceFtpDir(ftp, "/images"); });
  EXPECT_EQ(error, "FTP 서버의 폴더 목록이 너무 깁니다");
  EXPECT_FALSE(ftp.Connected());
}

TEST(FtpClient, LineBreaksInArgumentsAreNeverSent) {
  TFtpTestServer server;
  ASSERT_TRUE(server.Start());
  TFtpClient ftp;
  Aim(ftp, server);
  ftp.Connect();
  for (const QString& bad :
       {QStringLiteral("a\r\nDELE b"), QStringLiteral("a\nRMD b"), QStringLiteral("a\rRMD b")}) {
    EXPECT_FALSE(ErrorOf([&] { ftp.MakeDir(bad); }).isEmpty());
    EXPECT_FALSE(ErrorOf([&] { ForceFtpDir(ftp, "/x/" + bad); }).isEmpty());
    QByteArray bytes("abc");
    QBuffer stream(&bytes);
    stream.open(QIODevice::ReadOnly);
    EXPECT_FALSE(ErrorOf([&] { ftp.Put(stream, bad); }).isEmpty());
  }
  EXPECT_TRUE(server.WorkCommands().isEmpty()) << server.WorkCommands().join('|').toStdString();
  EXPECT_TRUE(ftp.Connected());
}
