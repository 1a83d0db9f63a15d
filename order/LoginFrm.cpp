#include "LoginFrm.h"

#include <QCheckBox>
#include <QFile>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QStringDecoder>

#include "common/uErrors.h"
#include "common/uSettings.h"
#include "ui/uForms.h"
#include "ui/uMessages.h"

namespace Kestrin {

const QString CfgFileName = QStringLiteral("Kestrin.cfg");

namespace {

const QByteArray IdName = "UserID";
const QByteArray Utf8Bom = "\xEF\xBB\xBF";
// The file holds a line or two; anything far larger is not our settings file.
constexpr qint64 MaxCfgSize = 64 * 1024;

// Blanks and control characters (everything up to U+0020) off both ends.
QString TrimBlanks(const QString& text) {
  qsizetype first = 0;
  qsizetype last = text.size();
  while (first < last && text[first].unicode() <= 0x20) ++first;
  while (last > first && text[last - 1].unicode() <= 0x20) --last;
  return text.mid(first, last - first);
}

// The saved-ID file as lines of bytes. Lines may end in CR, LF or CR LF; a line break at the
// very end does not start another line. Lines other than the "UserID" entry are rewritten
// byte for byte, so nothing in them is lost by decoding.
struct TCfgLines {
  bool HasBom = false;
  QList<QByteArray> Lines;
};

TCfgLines ReadCfgFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    throw EKestrinError(
        QStringLiteral("설정 파일 %1 을(를) 읽을 수 없습니다: %2").arg(path, file.errorString()));
  if (file.size() > MaxCfgSize)
    throw EKestrinError(
        QStringLiteral("설정 파일 %1 이(가) 너무 커서 설정 파일로 읽을 수 없습니다").arg(path));
  QByteArray data = file.read(MaxCfgSize + 1);
  if (file.error() != QFileDevice::NoError)
    throw EKestrinError(
        QStringLiteral("설정 파일 %1 을(를) 읽을 수 없습니다: %2").arg(path, file.errorString()));

  // A file that is not UTF-8 text (binary data, another encoding) is refused rather than
  // guessed at, and it is never overwritten: the user decides what happens to it.
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  (void)decoder.decode(data);
  if (decoder.hasError() || data.contains('\0'))
    throw EKestrinError(
        QStringLiteral("설정 파일 %1 의 내용이 올바른 텍스트가 아닙니다. 파일을 확인해 주세요")
            .arg(path));

  TCfgLines cfg;
  if (data.startsWith(Utf8Bom)) {
    cfg.HasBom = true;
    data.remove(0, Utf8Bom.size());
  }
  qsizetype start = 0;
  for (qsizetype i = 0; i < data.size(); ++i) {
    const char c = data[i];
    if (c != '\r' && c != '\n') continue;
    cfg.Lines << data.mid(start, i - start);
    if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < data.size()) cfg.Lines << data.mid(start);
  return cfg;
}

// Index of the first "UserID" entry (name compared without regard to case), or -1.
qsizetype FindIdEntry(const QList<QByteArray>& lines) {
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const qsizetype eq = lines[i].indexOf('=');
    if (eq >= 0 && lines[i].left(eq).compare(IdName, Qt::CaseInsensitive) == 0) return i;
  }
  return -1;
}

// Replaces the file as a whole: either the complete new content is there afterwards, or the
// old file is left as it was.
void WriteCfgFile(const QString& path, const TCfgLines& cfg) {
  QByteArray data;
  if (cfg.HasBom) data += Utf8Bom;
  for (const QByteArray& line : cfg.Lines) data += line + "\r\n";
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
    throw EKestrinError(
        QStringLiteral("설정 파일 %1 을(를) 저장할 수 없습니다: %2").arg(path, file.errorString()));
}

}  // namespace

TfrmLogin::TfrmLogin(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("frmLogin"));
  setWindowTitle(QStringLiteral("로그인 1.2"));
  setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(282, 120);

  sPanel1 = new QFrame(this);
  sPanel1->setObjectName(QStringLiteral("sPanel1"));
  sPanel1->setFrameShape(QFrame::StyledPanel);
  sPanel1->setFrameShadow(QFrame::Raised);
  sPanel1->setGeometry(8, 8, 265, 73);

  sLabel1 = new QLabel(QStringLiteral("아  이  디"), sPanel1);
  sLabel1->setObjectName(QStringLiteral("sLabel1"));
  sLabel1->setAlignment(Qt::AlignCenter);
  sLabel1->setGeometry(14, 14, 51, 13);

  sLabel2 = new QLabel(QStringLiteral("패스워드"), sPanel1);
  sLabel2->setObjectName(QStringLiteral("sLabel2"));
  sLabel2->setAlignment(Qt::AlignCenter);
  sLabel2->setGeometry(14, 46, 51, 13);

  edtID = new QLineEdit(sPanel1);
  edtID->setObjectName(QStringLiteral("edtID"));
  edtID->setGeometry(72, 10, 113, 20);

  edtPW = new QLineEdit(sPanel1);
  edtPW->setObjectName(QStringLiteral("edtPW"));
  edtPW->setEchoMode(QLineEdit::Password);
  edtPW->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
  edtPW->setGeometry(72, 42, 113, 20);

  cbSave = new QCheckBox(QStringLiteral("ID저장"), sPanel1);
  cbSave->setObjectName(QStringLiteral("cbSave"));
  cbSave->setChecked(false);
  cbSave->setGeometry(192, 10, 61, 18);

  btnLogin = new QPushButton(QStringLiteral("로 그 인"), this);
  btnLogin->setObjectName(QStringLiteral("btnLogin"));
  btnLogin->setGeometry(120, 88, 65, 25);
  btnLogin->setAutoDefault(false);

  btnGuest = new QPushButton(QStringLiteral("비회원 주문"), this);
  btnGuest->setObjectName(QStringLiteral("btnGuest"));
  btnGuest->setGeometry(192, 88, 83, 25);
  btnGuest->setAutoDefault(false);

  setTabOrder(edtID, edtPW);
  setTabOrder(edtPW, cbSave);
  setTabOrder(cbSave, btnLogin);
  setTabOrder(btnLogin, btnGuest);

  connect(btnLogin, &QPushButton::clicked, this, [this] { btnLoginClick(); });
  connect(btnGuest, &QPushButton::clicked, this, [this] { btnGuestClick(); });

  // Key preview: the dialog sees every key before the focused control does.
  for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);

  FormCreate();
}

TfrmLogin::~TfrmLogin() = default;

void TfrmLogin::FormCreate() {
  FAppDir = AppDir();
  FCfgFile = FAppDir + CfgFileName;
}

void TfrmLogin::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous() || FShown) return;
  FShown = true;
  GuardHandler(this, [this] { FormShow(); });
}

void TfrmLogin::FormShow() {
  const QString id = LoadSavedID();
  if (!id.isEmpty()) {
    edtID->setText(id);
    cbSave->setChecked(true);
    edtPW->setFocus(Qt::OtherFocusReason);
  } else {
    edtID->setFocus(Qt::OtherFocusReason);
  }
}

bool TfrmLogin::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    bool handled = false;
    GuardHandler(this, [&] { handled = FormKeyDown(watched, static_cast<QKeyEvent*>(event)); });
    if (handled) return true;
  }
  return QDialog::eventFilter(watched, event);
}

bool TfrmLogin::FormKeyDown(QObject* sender, QKeyEvent* key) {
  if (key->key() == Qt::Key_Escape) {
    done(mrCancel);
    return true;
  }
  if (sender == edtID) return edtIDKeyDown(key);
  if (sender == edtPW) return edtPWKeyDown(key);
  // Enter on a focused button presses it, as Space does; the buttons are no dialog defaults,
  // so that Enter elsewhere (on cbSave) presses nothing.
  if ((sender == btnLogin || sender == btnGuest) &&
      (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
    static_cast<QPushButton*>(sender)->click();
    return true;
  }
  return false;
}

bool TfrmLogin::edtIDKeyDown(QKeyEvent* key) {
  if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
  btnLogin->click();
  return true;
}

bool TfrmLogin::edtPWKeyDown(QKeyEvent* key) {
  if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
  btnLogin->click();
  return true;
}

void TfrmLogin::reject() {
  done(mrCancel);
}

void TfrmLogin::btnLoginClick() {
  GuardHandler(this, [this] {
    const QString id = TrimBlanks(edtID->text());
    const QString password = TrimBlanks(edtPW->text());
    if (id.isEmpty()) {
      edtID->setFocus(Qt::OtherFocusReason);
      return;
    }
    if (password.isEmpty()) {
      edtPW->setFocus(Qt::OtherFocusReason);
      return;
    }
    if (!CheckLogin(id, password)) {
      ShowMessageBox(this, {AppTitle(), QStringLiteral("아이디 또는 패스워드 를 찾을 수 없습니다."),
                            TMsgIcon::None, QMessageBox::Ok, QMessageBox::Ok});
      edtID->setFocus(Qt::OtherFocusReason);
      return;
    }
    FUserID = id;
    if (cbSave->isChecked()) SaveID(FUserID);
    done(mrOk);
  });
}

void TfrmLogin::btnGuestClick() {
  FUserID = QStringLiteral("guest");
  done(mrOk);
}

bool TfrmLogin::CheckLogin(const QString& id, const QString& password) {
  // The values are percent-encoded so that "&", "#", "+", "=" or blanks in a password reach
  // the server as typed instead of splitting or cutting the query.
  const QString path = QStringLiteral("/app_login.php?userid=") + EncodeQueryValue(id) +
                       QStringLiteral("&pass=") + EncodeQueryValue(password);
  return httpLogin.Get(path) == QByteArray("OK");
}

QString TfrmLogin::LoadSavedID() {
  if (!QFile::exists(FCfgFile)) return {};
  const TCfgLines cfg = ReadCfgFile(FCfgFile);
  const qsizetype index = FindIdEntry(cfg.Lines);
  if (index < 0) return {};
  const QByteArray& line = cfg.Lines[index];
  return QString::fromUtf8(line.mid(line.indexOf('=') + 1));
}

void TfrmLogin::SaveID(const QString& id) {
  const QByteArray entry = IdName + '=' + id.toUtf8();
  TCfgLines cfg;
  if (QFile::exists(FCfgFile)) cfg = ReadCfgFile(FCfgFile);
  const qsizetype index = FindIdEntry(cfg.Lines);
  if (index >= 0)
    cfg.Lines[index] = entry;
  else
    cfg.Lines << entry;
  WriteCfgFile(FCfgFile, cfg);
}

}  // namespace Kestrin
