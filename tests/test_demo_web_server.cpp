// The demo shop's web server (tools/demo-shop/web_server.py), fetched through THttpClient: the
// pages the program uses and the cart page that shows an uploaded order.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "TestSupport.h"
#include "common/uErrors.h"
#include "net/uHttpClient.h"

using namespace Kestrin;
using KestrinTest::TServerProcess;

namespace {

void Put(const QString& path, const QByteArray& data) {
  ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  ASSERT_EQ(f.write(data), data.size());
}

QString StatusOf(THttpClient& client, const QString& path) {
  try {
    client.Get(path);
  } catch (const EKestrinError& e) {
    return e.Text();
  }
  return QStringLiteral("200");
}

// The whole answer to a request, status line and body, for pages that answer with an error.
QByteArray RawAnswer(quint16 port, const QByteArray& target) {
  QTcpSocket socket;
  socket.connectToHost(QHostAddress::LocalHost, port);
  if (!socket.waitForConnected(5000)) return {};
  socket.write("GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
  QByteArray answer;
  while (socket.waitForReadyRead(5000)) answer += socket.readAll();
  return answer + socket.readAll();
}

class DemoWebServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FDir.isValid());
    FRoot = FDir.filePath(QStringLiteral("ftp-root"));
    ASSERT_TRUE(QDir().mkpath(FRoot));
    ASSERT_TRUE(FShop.Start(
        QStringLiteral(KESTRIN_SOURCE_DIR "/tools/demo-shop/web_server.py"),
        {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--ftp-root"), FRoot}));
    FClient.SetServer(FShop.HostPort());
  }

  QTemporaryDir FDir;
  QString FRoot;
  TServerProcess FShop;
  THttpClient FClient;
};

TEST_F(DemoWebServerTest, BannerLoginAndClock) {
  const QString banner = QString::fromUtf8(FClient.Get(QStringLiteral("/clients/index_top.html")));
  EXPECT_TRUE(banner.contains(QStringLiteral("height: 97px")));
  EXPECT_TRUE(banner.contains(QStringLiteral("증명사진")));
  EXPECT_FALSE(banner.contains(QStringLiteral("http")));  // no external resources

  EXPECT_EQ(FClient.Get(QStringLiteral("/app_login.php?userid=demo&pass=demo1234")), "OK");
  EXPECT_EQ(FClient.Get(QStringLiteral("/app_login.php?userid=demo&pass=demo123")), "FAIL");
  EXPECT_EQ(FClient.Get(QStringLiteral("/app_login.php?userid=kestrin&pass=photo%26%231")), "OK");
  // Unencoded, the "&" splits the query and the "#" cuts it: another password arrives.
  EXPECT_EQ(FClient.Get(QStringLiteral("/app_login.php?userid=kestrin&pass=photo&#1")), "FAIL");

  const QByteArray stamp = FClient.Get(QStringLiteral("/OneClick/NowDateTime.html"));
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^20\\d{12}$"))
                  .match(QString::fromLatin1(stamp))
                  .hasMatch())
      << stamp.toStdString();
}

TEST_F(DemoWebServerTest, CartPageShowsStoredOrderAndRefusesTraversal) {
  const QString sheetName = QStringLiteral("20261211093000_guest_My Index.jpg");
  const QString orderDir = FRoot + QStringLiteral("/test_images/20261211/guest/");
  Put(orderDir + QStringLiteral("guest[20261211093000]_CartInfo.txt"),
      sheetName.toUtf8() + ":0:0:0:0:0:0:007:0:0:0:Y:N:N:Y:N:N:N");
  Put(orderDir + sheetName, "sheet-bytes");
  Put(FRoot + QStringLiteral("/images/thumbs/20261211/guest/20261211093000_guest_My_Index.jpg"),
      "thumb-bytes");
  Put(FDir.filePath(QStringLiteral("secret.txt")), "outside the ftp root");

  // The cart page address exactly as the program builds it: nothing escaped.
  const QString page = QString::fromUtf8(FClient.Get(QStringLiteral(
      "/mymenu/newp_bsprocess_test.html?cartinfo=guest[20261211093000]_CartInfo.txt&dir=20261211"
      "&id=guest&httpapp=3")));
  EXPECT_TRUE(
      page.contains(QStringLiteral("<tr class=\"hit\"><td>1</td><td>파일 이름</td><td>%1</td></tr>")
                        .arg(sheetName)))
      << page.toStdString();
  EXPECT_TRUE(
      page.contains(QStringLiteral("<tr class=\"hit\"><td>8</td><td>수량</td><td>007</td></tr>")));
  EXPECT_EQ(page.count(QStringLiteral("<tr")), 19);  // header and 18 fields

  // The images the page shows are served from the FTP root.
  const QString thumbSrc =
      QStringLiteral("/orders/images/thumbs/20261211/guest/20261211093000_guest_My_Index.jpg");
  const QString sheetSrc =
      QStringLiteral("/orders/test_images/20261211/guest/20261211093000_guest_My%20Index.jpg");
  EXPECT_TRUE(page.contains(QStringLiteral("src=\"%1\"").arg(thumbSrc)));
  EXPECT_TRUE(page.contains(QStringLiteral("src=\"%1\"").arg(sheetSrc)));
  EXPECT_EQ(FClient.Get(thumbSrc), "thumb-bytes");
  EXPECT_EQ(FClient.Get(sheetSrc), "sheet-bytes");

  // Nothing outside the FTP root, however the path is put.
  ASSERT_TRUE(QFile::link(FDir.filePath(QStringLiteral("secret.txt")),
                          FRoot + QStringLiteral("/link.txt")));
  const QString notFound = QStringLiteral("HTTP/1.1 404 Not Found");
  const QString badRequest = QStringLiteral("HTTP/1.1 400 Bad Request");
  const struct {
    const char* Path;
    const QString& Status;
  } refused[] = {
      {"/orders/../secret.txt", notFound},
      {"/orders/%2e%2e/secret.txt", notFound},
      {"/orders/images/../../secret.txt", notFound},
      {"/orders/link.txt", notFound},
      {"/orders/%2Fetc%2Fpasswd", notFound},
      {"/mymenu/newp_bsprocess_test.html?cartinfo=secret.txt&dir=..&id=..&httpapp=3", badRequest},
      {"/mymenu/newp_bsprocess_test.html?cartinfo=..%2F..%2F..%2Fsecret.txt&dir=20261211&id=guest",
       badRequest},
      {"/mymenu/newp_bsprocess_test.html?cartinfo=missing.txt&dir=20261211&id=guest&httpapp=3",
       notFound},
  };
  for (const auto& r : refused)
    EXPECT_EQ(StatusOf(FClient, QString::fromLatin1(r.Path)), r.Status) << r.Path;
  const QString missing = QString::fromUtf8(RawAnswer(
      FShop.Port(),
      "/mymenu/newp_bsprocess_test.html?cartinfo=missing.txt&dir=20261211&id=guest&httpapp=3"));
  EXPECT_TRUE(missing.startsWith(QStringLiteral("HTTP/1.1 404")));
  EXPECT_TRUE(missing.contains(QStringLiteral("missing.txt</b> 을(를) 찾을 수 없습니다")))
      << missing.toStdString();
  // The server is still there.
  EXPECT_EQ(FClient.Get(thumbSrc), "thumb-bytes");
}

}  // namespace
