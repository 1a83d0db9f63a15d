// The order upload dialog with real widgets against a real FTP server and a real web server.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "FtpTestServer.h"
#include "JpegDecode.h"
#include "TestSupport.h"
#include "gfx/GR32.h"
#include "order/uUploadForm.h"
#include "order/uUtils.h"
#include "ui/uForms.h"
#include "ui/uMessages.h"

using namespace Kestrin;
using namespace KestrinTest;

// Readable failure output for Qt strings.
void PrintTo(const QString& s, std::ostream* os) {
  *os << '"' << s.toStdString() << '"';
}

namespace {

struct TBox {
  QString Caption, Text;
  TMsgIcon Icon;
};

const char* kDefaultStamp = "20261211153000";

// One order's world: FTP server, web server with a fixed clock, a browser that records the
// address it was started with, and a hook that answers every message box.
class UploadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FSheet.SetImage(MakePatternImage(1500, 2100, 5));
    FBrowser = FTemp.filePath("browser.sh");
    QFile script(FBrowser);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '%1'\n")
                     .arg(FTemp.filePath("urls.txt"))
                     .toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("KESTRIN_BROWSER", FBrowser.toUtf8());
    SetMessageHook([this](const TMessageBoxRequest& r) {
      FBoxes.push_back({r.Caption, r.Text, r.Icon});
      return QMessageBox::Ok;
    });
  }
  void TearDown() override {
    SetMessageHook(nullptr);
    for (const char* name : {"KESTRIN_BROWSER", "KESTRIN_FTP_SERVER", "KESTRIN_WEB_SERVER",
                             "KESTRIN_FTP_PASSWORD", "KESTRIN_NET_TIMEOUT"})
      qunsetenv(name);
  }

  bool StartServers(const QStringList& ftpArgs = {}, const QStringList& webArgs = {}) {
    if (!FFtp.Start(ftpArgs)) return false;
    if (!FWeb.Start(SupportFile("stamp_server.py"), webArgs)) return false;
    qputenv("KESTRIN_FTP_SERVER", FFtp.HostPort().toUtf8());
    qputenv("KESTRIN_WEB_SERVER", FWeb.HostPort().toUtf8());
    return true;
  }

  std::unique_ptr<TUploadForm> MakeForm(const QString& user = "guest", const QString& format = "7",
                                        const QString& item = "Index") {
    auto form = std::make_unique<TUploadForm>();
    form->FUserID = user;
    form->FSheet = &FSheet;
    form->FCartFormat = format;
    form->FItemName = item;
    form->FHttpApp = "3";
    return form;
  }

  // Shows the dialog modally, types the quantity and presses Start.
  int RunOrder(TUploadForm& form, const QString& qty) {
    QTimer::singleShot(0, &form, [&form, qty] {
      form.txtQty->SetText(qty);
      QTest::mouseClick(form.btnStart, Qt::LeftButton);
      // A dialog that stays open would block the test: close it, which ends with Cancel.
      if (form.isVisible() && !form.Busy()) form.reject();
    });
    return form.exec();
  }

  QByteArray Remote(const QString& path) const {
    QFile f(FFtp.Root() + '/' + path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
  }
  QStringList RemoteFiles() const {
    QStringList files;
    QDir root(FFtp.Root());
    std::function<void(const QString&)> walk = [&](const QString& rel) {
      QDir d(root.filePath(rel));
      for (const QFileInfo& fi : d.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        const QString r = rel.isEmpty() ? fi.fileName() : rel + '/' + fi.fileName();
        if (fi.isDir())
          walk(r);
        else
          files << r;
      }
    };
    walk(QString());
    files.sort();
    return files;
  }
  QStringList BrowserUrls() const {
    QFile f(FTemp.filePath("urls.txt"));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
  }
  // The browser is started detached: give it a moment to write.
  QStringList WaitForBrowser() const {
    for (int i = 0; i < 50 && BrowserUrls().isEmpty(); ++i) QTest::qWait(20);
    return BrowserUrls();
  }

  TBitmap32 FSheet;
  QTemporaryDir FTemp;
  QString FBrowser;
  TFtpTestServer FFtp;
  TServerProcess FWeb;
  std::vector<TBox> FBoxes;
};

}  // namespace

TEST_F(UploadTest, OneOrderStoresSheetThumbnailAndCartRecordAndOpensTheCartPage) {
  ASSERT_TRUE(StartServers());
  auto form = MakeForm();
  EXPECT_EQ(form->windowTitle(), "사진 업로드");
  EXPECT_EQ(form->lblMessage->text(), "수량을 입력해주세요");
  EXPECT_EQ(form->btnStart->text(), "시 작");
  EXPECT_EQ(form->txtQty->Text(), "0");

  EXPECT_EQ(RunOrder(*form, "007"), mrOk);
  EXPECT_TRUE(FBoxes.empty()) << FBoxes.front().Text.toStdString();
  EXPECT_EQ(form->lblMessage->text(), "이미지 전송 완료. 장바구니로 이동합니다.");
  EXPECT_FALSE(form->txtQty->isVisibleTo(form.get()));
  EXPECT_FALSE(form->btnStart->isEnabled());
  EXPECT_EQ(form->FileGauge->text(), "100%");
  EXPECT_TRUE(form->lblSpeed->text().endsWith(" kbps"));

  const QString sheetName = "20261211153000_guest_Index.jpg";
  const QString cartName = "guest[20261211153000]_CartInfo.txt";
  EXPECT_EQ(RemoteFiles(), (QStringList{"images/thumbs/20261211/guest/" + sheetName,
                                        "test_images/20261211/guest/" + sheetName,
                                        "test_images/20261211/guest/" + cartName}));
  // The sheet: exactly the encoder's bytes of the order image.
  QBuffer expected;
  BitmapToJpegStream(FSheet, expected);
  EXPECT_TRUE(Remote("test_images/20261211/guest/" + sheetName) == expected.data());
  // The thumbnail: 96 x 96, the sheet fitted into columns 14..81, white beside it.
  const QImage thumb = DecodeJpegPlain(Remote("images/thumbs/20261211/guest/" + sheetName));
  ASSERT_EQ(thumb.size(), QSize(96, 96));
  // Brightness is kept at full resolution (colour is subsampled), so the picture is compared
  // by it against the sheet pixel each thumbnail pixel takes.
  auto luma = [](QRgb c) { return 0.299 * qRed(c) + 0.587 * qGreen(c) + 0.114 * qBlue(c); };
  double pictureDiff = 0;
  for (int y = 0; y < 96; ++y)
    for (int x = 0; x < 96; ++x) {
      const QRgb got = thumb.pixel(x, y);
      if (x >= 14 && x < 82) {
        const int sx = static_cast<int>((2LL * (x - 14) + 1) * 1500 / (2 * 68));
        const int sy = static_cast<int>((2LL * y + 1) * 2100 / (2 * 96));
        pictureDiff += std::abs(luma(got) - luma(FSheet.Pixel(sx, sy)));
      } else {
        EXPECT_GE(std::min({qRed(got), qGreen(got), qBlue(got)}), 250) << x << "," << y;
      }
    }
  EXPECT_LT(pictureDiff / (68 * 96), 3.0);
  EXPECT_EQ(Remote("test_images/20261211/guest/" + cartName),
            QByteArray("20261211153000_guest_Index.jpg:0:0:0:0:0:0:007:0:0:0:Y:N:N:Y:N:N:N"));
  // The stores, in order, each where it belongs.
  const QStringList stores = FFtp.WorkCommands().filter(QRegularExpression("^STOR "));
  EXPECT_EQ(stores,
            (QStringList{"STOR " + sheetName, "STOR /images/thumbs/20261211/guest/" + sheetName,
                         "STOR " + cartName}));
  EXPECT_EQ(WaitForBrowser(),
            QStringList{"http://" + FWeb.HostPort() +
                        "/mymenu/newp_bsprocess_test.html?cartinfo=guest%5B20261211153000%5D_"
                        "CartInfo.txt&dir=20261211&id=guest&httpapp=3"});
}

TEST_F(UploadTest, NamesAndCartRecordsFollowTheOrdersValues) {
  struct TCase {
    QString User, Stamp, Format, Item, Qty;
    QString Record;    // expected content of the cart file
    QString Sheet;     // expected remote path of the sheet
    QString Thumb;     // expected remote path of the thumbnail
    QString UrlQuery;  // expected query of the cart page
  };
  const std::vector<TCase> cases = {
      {"guest", kDefaultStamp, "6", "Index", "12",
       "20261211153000_guest_Index.jpg:0:0:0:0:0:12:0:0:0:0:Y:N:N:Y:N:N:N",
       "test_images/20261211/guest/20261211153000_guest_Index.jpg",
       "images/thumbs/20261211/guest/20261211153000_guest_Index.jpg",
       "cartinfo=guest%5B20261211153000%5D_CartInfo.txt&dir=20261211&id=guest&httpapp=3"},
      {"member7", kDefaultStamp, "8", "Index", "1", "",
       "test_images/20261211/member7/20261211153000_member7_Index.jpg",
       "images/thumbs/20261211/member7/20261211153000_member7_Index.jpg",
       "cartinfo=member7%5B20261211153000%5D_CartInfo.txt&dir=20261211&id=member7&httpapp=3"},
      {"kim chul", "20261211 1530", "7", "My Item", "2",
       "20261211 1530_kim chul_My Item.jpg:0:0:0:0:0:0:2:0:0:0:Y:N:N:Y:N:N:N",
       "test_images/20261211/kim chul/20261211 1530_kim chul_My Item.jpg",
       "images/thumbs/20261211/kim_chul/20261211_1530_kim_chul_My_Item.jpg",
       "cartinfo=kim%20chul%5B20261211%201530%5D_CartInfo.txt&dir=20261211&id=kim%20chul&"
       "httpapp=3"},
      {"홍길동&x=1", kDefaultStamp, "7", "Index", "3",
       "20261211153000_홍길동&x=1_Index.jpg:0:0:0:0:0:0:3:0:0:0:Y:N:N:Y:N:N:N",
       "test_images/20261211/홍길동&x=1/20261211153000_홍길동&x=1_Index.jpg",
       "images/thumbs/20261211/홍길동&x=1/20261211153000_홍길동&x=1_Index.jpg",
       "cartinfo=%ED%99%8D%EA%B8%B8%EB%8F%99%26x%3D1%5B20261211153000%5D_CartInfo.txt&dir="
       "20261211&id=%ED%99%8D%EA%B8%B8%EB%8F%99%26x%3D1&httpapp=3"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.User.toStdString() + " / " + c.Format.toStdString());
    FBoxes.clear();
    QFile::remove(FTemp.filePath("urls.txt"));
    FWeb.Stop();
    FFtp.Stop();
    ASSERT_TRUE(StartServers({}, {"--stamp=" + c.Stamp}));
    auto form = MakeForm(c.User, c.Format, c.Item);
    EXPECT_EQ(RunOrder(*form, c.Qty), mrOk);
    EXPECT_TRUE(FBoxes.empty());
    const QString folder = QFileInfo(c.Sheet).path();
    const QString cartName = c.User + '[' + c.Stamp + "]_CartInfo.txt";
    EXPECT_EQ(Remote(folder + '/' + cartName), c.Record.toUtf8());
    EXPECT_NE(Remote(c.Sheet), "<missing>");
    EXPECT_NE(Remote(c.Thumb), "<missing>");
    const QStringList urls = WaitForBrowser();
    ASSERT_EQ(urls.size(), 1);
    EXPECT_EQ(urls[0].section('?', 1), c.UrlQuery);
  }
}

// Every failure shows its error and ends with Cancel, so that the sheet keeps its photo; what
// was stored before the failure stays, and no cart page is opened.
TEST_F(UploadTest, FailuresShowTheErrorAndEndWithCancel) {
  const QString sheet = "test_images/20261211/guest/20261211153000_guest_Index.jpg";
  const QString thumb = "images/thumbs/20261211/guest/20261211153000_guest_Index.jpg";
  struct TCase {
    const char* Name;
    QStringList FtpArgs, WebArgs;
    QByteArray Password;
    bool StopFtp;
    QString Caption, TextPart;
    QStringList Stored;
  };
  const QString title = AppTitle();
  const std::vector<TCase> cases = {
      {"login refused",
       {},
       {},
       "wrong12",
       false,
       "FTP 에러",
       "FTP Error : FTP 서버에 로그인할 수 없습니다",
       {}},
      {"no server", {}, {}, "", true, "FTP 에러", "FTP Error : FTP 서버(127.0.0.1:", {}},
      {"stamp request fails",
       {},
       {"--status=500"},
       "",
       false,
       title,
       "서버 시각을 받아오지 못했습니다: HTTP/1.",
       {}},
      {"stamp is garbage",
       {},
       {"--stamp=<html>oops</html>"},
       "",
       false,
       title,
       "날짜와 시각이 아닙니다",
       {}},
      {"stamp is empty", {}, {"--stamp="}, "", false, title, "응답이 비어 있습니다", {}},
      {"stamp is short", {}, {"--stamp=2026121"}, "", false, title, "날짜와 시각이 아닙니다", {}},
      {"stamp has a line break",
       {},
       {"--stamp=20261211153000\r\n"},
       "",
       false,
       title,
       "날짜와 시각이 아닙니다",
       {}},
      {"folder refused",
       {"--refuse", "MKD=test_images"},
       {},
       "",
       false,
       title,
       "폴더를 만들지 못했습니다 (/test_images/20261211/guest): Refused by test server.",
       {}},
      {"sheet store refused",
       {"--refuse", "STOR"},
       {},
       "",
       false,
       title,
       "인화 사진을 올리지 못했습니다",
       {}},
      {"cart store refused",
       {"--refuse", "STOR=guest[20261211153000]_CartInfo.txt"},
       {},
       "",
       false,
       title,
       "주문 정보를 올리지 못했습니다",
       {thumb, sheet}},
      {"connection dropped during the sheet",
       {"--drop-stor-after", "200000"},
       {},
       "",
       false,
       title,
       "연결이 끊어졌습니다",
       {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    FBoxes.clear();
    FWeb.Stop();
    FFtp.Stop();
    QDir(FFtp.Root()).removeRecursively();
    ASSERT_TRUE(StartServers(c.FtpArgs, c.WebArgs));
    if (!c.Password.isEmpty()) qputenv("KESTRIN_FTP_PASSWORD", c.Password);
    if (c.StopFtp) FFtp.Stop();
    auto form = MakeForm();
    EXPECT_EQ(RunOrder(*form, "1"), mrCancel);
    qunsetenv("KESTRIN_FTP_PASSWORD");
    ASSERT_EQ(FBoxes.size(), 1u);
    EXPECT_EQ(FBoxes[0].Caption, c.Caption);
    EXPECT_TRUE(FBoxes[0].Text.contains(c.TextPart)) << FBoxes[0].Text.toStdString();
    EXPECT_FALSE(form->OrderSent());
    // Sheet and thumbnail of a partly sent order stay; a dropped store may leave part of a file.
    const QStringList stored = RemoteFiles();
    if (QByteArray(c.Name).startsWith("connection dropped"))
      EXPECT_FALSE(stored.contains(thumb) || stored.join('|').contains("CartInfo"));
    else
      EXPECT_EQ(stored, c.Stored);
    QTest::qWait(50);
    EXPECT_TRUE(BrowserUrls().isEmpty());
  }
}

TEST_F(UploadTest, ASilentServerEndsTheOrderAfterTheTimeLimit) {
  qputenv("KESTRIN_NET_TIMEOUT", "1");
  ASSERT_TRUE(StartServers({"--hang-on", "STOR"}));
  auto form = MakeForm();
  EXPECT_EQ(RunOrder(*form, "1"), mrCancel);
  ASSERT_EQ(FBoxes.size(), 1u);
  EXPECT_EQ(FBoxes[0].Caption, AppTitle());
  EXPECT_TRUE(FBoxes[0].Text.contains("1초 동안 응답하지 않아")) << FBoxes[0].Text.toStdString();
  EXPECT_TRUE(BrowserUrls().isEmpty());
}

// Quantities that are not above 0 ask again and leave the dialog open; nothing is sent.
TEST_F(UploadTest, QuantityNotAboveZeroAsksAgain) {
  ASSERT_TRUE(StartServers());
  auto form = MakeForm();
  form->show();
  // Typing takes digits only; the down arrow goes below 0.
  form->txtQty->SetText("");
  QTest::keyClicks(form->txtQty, "1x2");
  EXPECT_EQ(form->txtQty->Text(), "12");
  form->txtQty->SetText("0");
  QTest::keyClick(form->txtQty, Qt::Key_Down);
  EXPECT_EQ(form->txtQty->Text(), "-1");
  form->txtQty->stepBy(2);
  EXPECT_EQ(form->txtQty->Text(), "1");

  for (const char* qty : {"0", "", "-1", "abc", "99999999999"}) {
    SCOPED_TRACE(qty);
    FBoxes.clear();
    form->txtQty->SetText(qty);
    QTest::mouseClick(form->btnStart, Qt::LeftButton);
    ASSERT_EQ(FBoxes.size(), 1u);
    EXPECT_EQ(FBoxes[0].Caption, "");
    EXPECT_EQ(FBoxes[0].Text, "수량을 입력해주세요");
    EXPECT_EQ(FBoxes[0].Icon, TMsgIcon::None);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->txtQty->isVisible());
    EXPECT_TRUE(form->btnStart->isEnabled());
  }
  EXPECT_TRUE(FFtp.Commands().isEmpty());
}

// A user ID that cannot name a folder is refused before anything goes to a server.
TEST_F(UploadTest, BadUserIDsAreRefusedBeforeSending) {
  ASSERT_TRUE(StartServers());
  for (const char* user : {"a/b", "..", ".", "a\\b", "a\tb", "a\r\nDELE x", "", "  "}) {
    SCOPED_TRACE(user);
    FBoxes.clear();
    auto form = MakeForm(user);
    EXPECT_EQ(RunOrder(*form, "1"), mrCancel);
    ASSERT_EQ(FBoxes.size(), 1u);
    EXPECT_TRUE(FBoxes[0].Text.contains("사용자 ID")) << FBoxes[0].Text.toStdString();
  }
  EXPECT_TRUE(FFtp.Commands().isEmpty());
  EXPECT_TRUE(RemoteFiles().isEmpty());
}

// The close button and Esc during a transfer neither close the dialog nor turn the sent order
// into a Cancel.
TEST_F(UploadTest, ClosingDuringTheTransferKeepsTheOrder) {
  ASSERT_TRUE(StartServers());
  auto form = MakeForm();
  int closeTries = 0, stillVisible = 0;
  auto original = form->FtpClient->OnWork;
  form->FtpClient->OnWork = [&](TWorkMode mode, qint64 count) {
    ++closeTries;
    if (!form->close()) ++stillVisible;
    QTest::keyClick(form.get(), Qt::Key_Escape);
    if (form->isVisible()) ++stillVisible;
    original(mode, count);
  };
  EXPECT_EQ(RunOrder(*form, "1"), mrOk);
  EXPECT_GT(closeTries, 0);
  EXPECT_EQ(stillVisible, 2 * closeTries);
  EXPECT_TRUE(form->OrderSent());
  EXPECT_EQ(WaitForBrowser().size(), 1);

  // Before Start the close button ends the dialog with Cancel.
  auto idle = MakeForm();
  QTimer::singleShot(0, idle.get(), [&] { idle->close(); });
  EXPECT_EQ(idle->exec(), mrCancel);
}

TEST_F(UploadTest, BrowserThatCannotStartShowsTheAddress) {
  ASSERT_TRUE(StartServers());
  qputenv("KESTRIN_BROWSER", FTemp.filePath("no-such-browser").toUtf8());
  auto form = MakeForm();
  EXPECT_EQ(RunOrder(*form, "1"), mrOk);
  ASSERT_EQ(FBoxes.size(), 1u);
  EXPECT_TRUE(FBoxes[0].Text.contains("웹 브라우저를 열 수 없습니다"));
  EXPECT_TRUE(FBoxes[0].Text.contains(form->CartUrl()));
  EXPECT_TRUE(form->CartUrl().startsWith("http://" + FWeb.HostPort() + "/mymenu/"));
}

TEST_F(UploadTest, GaugeAndSpeedFollowTheWorkEvents) {
  TUploadForm form;
  form.FtpClientWorkBegin(TWorkMode::wmWrite, 2000);
  form.FtpClientWork(TWorkMode::wmWrite, 999);
  EXPECT_EQ(form.FileGauge->text(), "49%");
  EXPECT_EQ(form.lblSpeed->text(), "0 kbps");  // within the first whole second
  form.FtpClientWork(TWorkMode::wmWrite, 5000);
  EXPECT_EQ(form.FileGauge->text(), "100%");
  form.FStartTime = QDateTime::currentDateTime().addMSecs(-2500);
  form.FtpClientWork(TWorkMode::wmWrite, 1234LL * 1024 * 2 + 600);
  EXPECT_EQ(form.lblSpeed->text(), "1,234 kbps");
  // A wide rate is shown whole, right-aligned where the label ends.
  EXPECT_GE(form.lblSpeed->width(), form.lblSpeed->fontMetrics().horizontalAdvance("1,234 kbps"));
  EXPECT_EQ(form.lblSpeed->geometry().right() + 1, 329);
  form.FtpClientWorkBegin(TWorkMode::wmRead, 0);
  form.FtpClientWork(TWorkMode::wmRead, 4096);
  EXPECT_EQ(form.FileGauge->text(), "0%");
}
