// The member login dialog with real widgets (offscreen) against real HTTP servers: the test
// server of tests/support for the answers, and the demo shop's own web server.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "TestSupport.h"
#include "order/LoginFrm.h"
#include "ui/uForms.h"
#include "ui/uMessages.h"

using namespace Kestrin;
using KestrinTest::SupportFile;
using KestrinTest::TServerProcess;

namespace {

const QString Refusal = QStringLiteral("아이디 또는 패스워드 를 찾을 수 없습니다.");

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void WriteAll(const QString& path, const QByteArray& data) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_EQ(f.write(data), data.size());
}

// Lines of a server's log that record login requests.
int CountLogins(TServerProcess& server) {
  QTest::qWait(100);  // let the server's log reach us
  return static_cast<int>(server.Log().count(QStringLiteral("/app_login.php")));
}

class LoginTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    FServer = new TServerProcess;
    ASSERT_TRUE(FServer->Start(SupportFile(QStringLiteral("http_test_server.py"))));
  }
  static void TearDownTestSuite() {
    delete FServer;
    FServer = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(FDir.isValid());
    FCfg = FDir.filePath(QStringLiteral("Kestrin.cfg"));
    FBoxes.clear();
    SetMessageHook([this](const TMessageBoxRequest& r) {
      FBoxes.push_back(r);
      return QMessageBox::Ok;
    });
  }
  void TearDown() override { SetMessageHook(nullptr); }

  // A dialog on the test server with its saved-ID file in the temp folder, shown.
  std::unique_ptr<TfrmLogin> Open(TServerProcess* server = nullptr) {
    auto dlg = std::make_unique<TfrmLogin>(nullptr);
    dlg->httpLogin.SetServer((server ? server : FServer)->HostPort());
    dlg->FCfgFile = FCfg;
    dlg->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    return dlg;
  }

  static void Login(TfrmLogin& dlg, const QString& id, const QString& pw, bool save) {
    dlg.edtID->setText(id);
    dlg.edtPW->setText(pw);
    dlg.cbSave->setChecked(save);
    QTest::mouseClick(dlg.btnLogin, Qt::LeftButton);
  }

  static bool Closed(TfrmLogin& dlg, int result) {
    return !dlg.isVisible() && dlg.result() == result;
  }

  static TServerProcess* FServer;
  QTemporaryDir FDir;
  QString FCfg;
  std::vector<TMessageBoxRequest> FBoxes;
};

TServerProcess* LoginTest::FServer = nullptr;

TEST_F(LoginTest, AcceptedLoginTrimsTheIdAndSavesIt) {
  auto dlg = Open();
  EXPECT_EQ(dlg->windowTitle(), QStringLiteral("로그인 1.2"));
  EXPECT_EQ(dlg->edtID->text(), QString());
  EXPECT_FALSE(dlg->cbSave->isChecked());
  EXPECT_EQ(dlg->focusWidget(), dlg->edtID);

  QTest::keyClicks(dlg->edtID, QStringLiteral(" abc "));
  QTest::keyClicks(dlg->edtPW, QStringLiteral("secret\t"));
  QTest::mouseClick(dlg->cbSave, Qt::LeftButton);
  ASSERT_TRUE(dlg->cbSave->isChecked());
  QTest::mouseClick(dlg->btnLogin, Qt::LeftButton);

  EXPECT_TRUE(Closed(*dlg, mrOk));
  EXPECT_EQ(dlg->FUserID, QStringLiteral("abc"));
  EXPECT_EQ(dlg->edtID->text(), QStringLiteral(" abc "));  // the field keeps what was typed
  EXPECT_TRUE(FBoxes.empty());
  EXPECT_EQ(ReadAll(FCfg), QByteArray("UserID=abc\r\n"));
  QTest::qWait(100);
  EXPECT_TRUE(FServer->Log().contains(
      QStringLiteral("REQUEST GET /app_login.php?userid=abc&pass=secret HTTP/1.1")));
}

TEST_F(LoginTest, AnswerOtherThanOKIsARefusal) {
  WriteAll(FCfg, "UserID=old\r\n");
  auto dlg = Open();
  const struct {
    const char* Id;  // picks the test server's answer
    const char* Password;
    const char* Answer;
  } cases[] = {{"abc", "wrong", "FAIL"},
               {"crlf", "secret", "OK\\r\\n"},
               {"lower", "secret", "ok"},
               {"empty", "secret", "(empty)"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Answer);
    FBoxes.clear();
    Login(*dlg, QString::fromLatin1(c.Id), QString::fromLatin1(c.Password), true);
    ASSERT_EQ(FBoxes.size(), 1u);
    EXPECT_EQ(FBoxes[0].Caption, AppTitle());
    EXPECT_EQ(FBoxes[0].Text, Refusal);
    EXPECT_EQ(FBoxes[0].Icon, TMsgIcon::None);
    EXPECT_EQ(FBoxes[0].Buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->FUserID, QString());
    EXPECT_EQ(dlg->focusWidget(), dlg->edtID);
    EXPECT_EQ(dlg->edtID->text(), QString::fromLatin1(c.Id));  // nothing cleared
    EXPECT_EQ(dlg->edtPW->text(), QString::fromLatin1(c.Password));
  }
  EXPECT_EQ(ReadAll(FCfg), QByteArray("UserID=old\r\n"));  // a refused login never writes
}

TEST_F(LoginTest, FailedRequestShowsStandardErrorAndWaits) {
  auto dlg = Open();
  const struct {
    const char* Id;
    QString Text;
  } cases[] = {
      {"boom", QStringLiteral("HTTP/1.1 500 Internal Server Error.")},
      {"moved", QStringLiteral("HTTP/1.1 302 Found.")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Id);
    FBoxes.clear();
    Login(*dlg, QString::fromLatin1(c.Id), QStringLiteral("secret"), true);
    ASSERT_EQ(FBoxes.size(), 1u);
    EXPECT_EQ(FBoxes[0].Caption, AppTitle());
    EXPECT_EQ(FBoxes[0].Text, c.Text);
    EXPECT_EQ(FBoxes[0].Icon, TMsgIcon::Error);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->FUserID, QString());
  }
  EXPECT_FALSE(QFile::exists(FCfg));

  // Nobody listening on the web server's port.
  TServerProcess gone;
  ASSERT_TRUE(gone.Start(SupportFile(QStringLiteral("http_test_server.py"))));
  dlg->httpLogin.SetServer(gone.HostPort());
  gone.Stop();
  FBoxes.clear();
  Login(*dlg, QStringLiteral("abc"), QStringLiteral("secret"), false);
  ASSERT_EQ(FBoxes.size(), 1u);
  EXPECT_TRUE(FBoxes[0].Text.contains(QStringLiteral("연결할 수 없습니다")))
      << FBoxes[0].Text.toStdString();
  EXPECT_TRUE(dlg->isVisible());
}

TEST_F(LoginTest, GuestOrderSendsNothingAndLeavesTheFile) {
  WriteAll(FCfg, "userid=abc");
  auto dlg = Open();
  const int before = CountLogins(*FServer);
  QTest::mouseClick(dlg->btnGuest, Qt::LeftButton);
  EXPECT_TRUE(Closed(*dlg, mrOk));
  EXPECT_EQ(dlg->FUserID, QStringLiteral("guest"));
  EXPECT_EQ(CountLogins(*FServer), before);
  EXPECT_EQ(ReadAll(FCfg), QByteArray("userid=abc"));
}

TEST_F(LoginTest, EnterAndEscKeys) {
  {  // Enter in edtID with an empty password: focus to edtPW, no request.
    auto dlg = Open();
    const int before = CountLogins(*FServer);
    QTest::keyClicks(dlg->edtID, QStringLiteral("abc"));
    QTest::keyClick(dlg->edtID, Qt::Key_Return);
    EXPECT_EQ(dlg->focusWidget(), dlg->edtPW);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(CountLogins(*FServer), before);
    // Enter with the ID empty (blanks only): focus back to edtID.
    dlg->edtID->setText(QStringLiteral("  "));
    QTest::keyClick(dlg->edtPW, Qt::Key_Enter);
    EXPECT_EQ(dlg->focusWidget(), dlg->edtID);
    // Enter in edtPW with both filled logs in.
    dlg->edtID->setText(QStringLiteral("abc"));
    QTest::keyClicks(dlg->edtPW, QStringLiteral("secret"));
    QTest::keyClick(dlg->edtPW, Qt::Key_Return);
    EXPECT_TRUE(Closed(*dlg, mrOk));
    EXPECT_EQ(dlg->FUserID, QStringLiteral("abc"));
  }
  {  // Enter on cbSave presses nothing; Enter on a focused button presses that button.
    auto dlg = Open();
    dlg->cbSave->setFocus();
    QTest::keyClick(dlg->cbSave, Qt::Key_Return);
    EXPECT_TRUE(dlg->isVisible());
    dlg->btnGuest->setFocus();
    QTest::keyClick(dlg->btnGuest, Qt::Key_Return);
    EXPECT_TRUE(Closed(*dlg, mrOk));
    EXPECT_EQ(dlg->FUserID, QStringLiteral("guest"));
  }
  // Esc, whichever control has the focus, and the title bar's close button: Cancel.
  const std::function<QWidget*(TfrmLogin&)> targets[] = {
      [](TfrmLogin& d) { return d.edtID; }, [](TfrmLogin& d) { return d.edtPW; },
      [](TfrmLogin& d) { return d.cbSave; }, [](TfrmLogin& d) { return d.btnGuest; }};
  for (const auto& target : targets) {
    auto dlg = Open();
    QWidget* w = target(*dlg);
    w->setFocus();
    QTest::keyClick(w, Qt::Key_Escape);
    EXPECT_TRUE(Closed(*dlg, mrCancel)) << w->objectName().toStdString();
    EXPECT_EQ(dlg->FUserID, QString());
  }
  auto dlg = Open();
  dlg->close();
  EXPECT_TRUE(Closed(*dlg, mrCancel));
}

TEST_F(LoginTest, ExecReturnsTheModalResult) {
  for (const int expected : {mrCancel, mrOk}) {
    TfrmLogin dlg(nullptr);
    dlg.FCfgFile = FCfg;
    QTimer::singleShot(0, &dlg, [&dlg, expected] {
      if (expected == mrOk)
        QTest::mouseClick(dlg.btnGuest, Qt::LeftButton);
      else
        QTest::keyClick(dlg.edtID, Qt::Key_Escape);
    });
    EXPECT_EQ(dlg.exec(), expected);
  }
}

TEST_F(LoginTest, PasswordWithAmpersandAndHashReachesTheDemoShop) {
  TServerProcess shop;
  ASSERT_TRUE(shop.Start(
      QStringLiteral(KESTRIN_SOURCE_DIR "/tools/demo-shop/web_server.py"),
      {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--ftp-root"), FDir.path()}));
  auto dlg = Open(&shop);
  Login(*dlg, QStringLiteral("kestrin"), QStringLiteral("photo&#"), false);  // wrong password
  ASSERT_EQ(FBoxes.size(), 1u);
  EXPECT_EQ(FBoxes[0].Text, Refusal);
  Login(*dlg, QStringLiteral("kestrin"), QStringLiteral("photo&#1"), false);
  EXPECT_TRUE(Closed(*dlg, mrOk));
  EXPECT_EQ(dlg->FUserID, QStringLiteral("kestrin"));
  QTest::qWait(100);
  EXPECT_TRUE(shop.Log().contains(QStringLiteral("userid=kestrin&pass=photo%26%231 HTTP/1.1")));
}

// The saved-ID file through the dialog: what is prefilled, and what the file holds after a
// login. Initial content nullptr: no file.
TEST_F(LoginTest, SavedIdFile) {
  const struct {
    const char* Name;
    const char* Initial;
    QString Prefilled;
    QString Id;  // typed ID; password "secret" unless Refused
    bool Save;
    bool Refused;
    const char* After;
  } cases[] = {
      {"no file", nullptr, QString(), QStringLiteral("abc"), true, false, "UserID=abc\r\n"},
      {"lower-case name", "userid=abc", QStringLiteral("abc"), QStringLiteral("xyz"), true, false,
       "UserID=xyz\r\n"},
      {"other lines, no entry", "Foo=1\nBar=2\n", QString(), QStringLiteral("abc"), true, false,
       "Foo=1\r\nBar=2\r\nUserID=abc\r\n"},
      {"first entry, CR endings, value untrimmed", "A=1\r\nUSERID= sp \rB\n\nuserid=second",
       QStringLiteral(" sp "), QStringLiteral("sp"), true, false,
       "A=1\r\nUserID=sp\r\nB\r\n\r\nuserid=second\r\n"},
      {"empty file", "", QString(), QStringLiteral("abc"), true, false, "UserID=abc\r\n"},
      {"unticked leaves the file", "UserID=old\r\n", QStringLiteral("old"), QStringLiteral("abc"),
       false, false, "UserID=old\r\n"},
      {"refused login never writes", "UserID=old\n", QStringLiteral("old"), QStringLiteral("abc"),
       true, true, "UserID=old\n"},
      {"Korean ID", nullptr, QString(), QStringLiteral("사진관"), true, false,
       "UserID=\xEC\x82\xAC\xEC\xA7\x84\xEA\xB4\x80\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    QFile::remove(FCfg);
    if (c.Initial) WriteAll(FCfg, c.Initial);
    auto dlg = Open();
    EXPECT_EQ(dlg->edtID->text(), c.Prefilled);
    EXPECT_EQ(dlg->cbSave->isChecked(), !c.Prefilled.isEmpty());
    EXPECT_EQ(dlg->focusWidget(), c.Prefilled.isEmpty() ? dlg->edtID : dlg->edtPW);
    if (c.Save != dlg->cbSave->isChecked()) QTest::mouseClick(dlg->cbSave, Qt::LeftButton);
    ASSERT_EQ(dlg->cbSave->isChecked(), c.Save);
    dlg->edtID->setText(c.Id);
    dlg->edtPW->setText(c.Refused ? QStringLiteral("wrong") : QStringLiteral("secret"));
    QTest::mouseClick(dlg->btnLogin, Qt::LeftButton);
    EXPECT_EQ(Closed(*dlg, mrOk), !c.Refused);
    EXPECT_EQ(FBoxes.size(), c.Refused ? 1u : 0u);
    FBoxes.clear();
    EXPECT_EQ(ReadAll(FCfg).toStdString(), std::string(c.After));
  }
}

// A saved-ID file that cannot be read or written: a clear message, the file as it was, and a
// dialog that still works.
TEST_F(LoginTest, SavedIdFileFailures) {
  {  // Unreadable (a folder in its place): message on showing, nothing prefilled.
    ASSERT_TRUE(QDir().mkpath(FCfg));
    auto dlg = Open();
    ASSERT_EQ(FBoxes.size(), 1u);
    EXPECT_EQ(FBoxes[0].Icon, TMsgIcon::Error);
    EXPECT_TRUE(FBoxes[0].Text.contains(QStringLiteral("읽을 수 없습니다")))
        << FBoxes[0].Text.toStdString();
    EXPECT_EQ(dlg->edtID->text(), QString());
    EXPECT_FALSE(dlg->cbSave->isChecked());
    QTest::mouseClick(dlg->btnGuest, Qt::LeftButton);
    EXPECT_TRUE(Closed(*dlg, mrOk));
    ASSERT_TRUE(QDir(FCfg).removeRecursively());
    FBoxes.clear();
  }
  {  // Not text (binary bytes, invalid UTF-8): refused on reading and never overwritten;
    // unticking cbSave lets the login through.
    static const char bytes[] =
        "\x89PNG\r\n\x1A\n\0\0\xFF\xFE"
        "UserID=zz\r\n";
    const QByteArray garbage(bytes, sizeof bytes - 1);
    WriteAll(FCfg, garbage);
    auto dlg = Open();
    ASSERT_EQ(FBoxes.size(), 1u);
    EXPECT_TRUE(FBoxes[0].Text.contains(QStringLiteral("올바른 텍스트가 아닙니다")));
    EXPECT_EQ(dlg->edtID->text(), QString());
    FBoxes.clear();
    Login(*dlg, QStringLiteral("abc"), QStringLiteral("secret"), true);
    ASSERT_EQ(FBoxes.size(), 1u);
    EXPECT_EQ(FBoxes[0].Icon, TMsgIcon::Error);
    EXPECT_EQ(dlg->FUserID, QStringLiteral("abc"));  // set, but the dialog waits
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(ReadAll(FCfg), garbage);
    FBoxes.clear();
    Login(*dlg, QStringLiteral("abc"), QStringLiteral("secret"), false);
    EXPECT_TRUE(FBoxes.empty());
    EXPECT_TRUE(Closed(*dlg, mrOk));
    EXPECT_EQ(ReadAll(FCfg), garbage);
  }
  // Writing fails: a folder that refuses new files (read-only; root ignores that, so also a
  // file name that leaves no room for the temporary file beside it).
  struct TWriteCase {
    QString Name;
    QString Folder;
    QString File;
  };
  std::vector<TWriteCase> writeCases;
  writeCases.push_back(
      {QStringLiteral("long name"), FDir.filePath(QStringLiteral("long")),
       FDir.filePath(QStringLiteral("long/") + QString(250, QChar('k')) + QStringLiteral(".cfg"))});
  if (geteuid() != 0)
    writeCases.push_back({QStringLiteral("read-only folder"), FDir.filePath(QStringLiteral("ro")),
                          FDir.filePath(QStringLiteral("ro/Kestrin.cfg"))});
  for (const auto& w : writeCases) {
    SCOPED_TRACE(w.Name.toStdString());
    ASSERT_TRUE(QDir().mkpath(w.Folder));
    WriteAll(w.File, "Other=1\r\nUserID=old\r\n");
    QFile::setPermissions(w.Folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    FCfg = w.File;
    auto dlg = Open();
    EXPECT_EQ(dlg->edtID->text(), QStringLiteral("old"));
    FBoxes.clear();
    Login(*dlg, QStringLiteral("new"), QStringLiteral("secret"), true);
    ASSERT_EQ(FBoxes.size(), 1u);
    EXPECT_EQ(FBoxes[0].Icon, TMsgIcon::Error);
    EXPECT_TRUE(FBoxes[0].Text.contains(QStringLiteral("저장할 수 없습니다")))
        << FBoxes[0].Text.toStdString();
    EXPECT_TRUE(dlg->isVisible());
    QFile::setPermissions(w.Folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(ReadAll(w.File), QByteArray("Other=1\r\nUserID=old\r\n"));
    EXPECT_EQ(QDir(w.Folder).entryList(QDir::Files).size(), 1);  // no temporary left behind
  }
}

}  // namespace
