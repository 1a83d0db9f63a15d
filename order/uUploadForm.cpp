#include "order/uUploadForm.h"

#include <QBuffer>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>
#include <cmath>
#include <limits>

#include "common/uErrors.h"
#include "common/uSettings.h"
#include "gfx/GR32.h"
#include "net/uHttpClient.h"
#include "order/uUtils.h"
#include "sheet/uUtils.h"
#include "ui/uForms.h"
#include "ui/uMessages.h"

namespace Kestrin {

namespace {

const QString kAskQty = QStringLiteral("수량을 입력해주세요");
const QString kCartTemplate6 = QStringLiteral("[FILENAME]:0:0:0:0:0:[QTY]:0:0:0:0:Y:N:N:Y:N:N:N");
const QString kCartTemplate7 = QStringLiteral("[FILENAME]:0:0:0:0:0:0:[QTY]:0:0:0:Y:N:N:Y:N:N:N");
constexpr int kThumbSize = 96;

// Repaint without letting a second click in.
void Pump() {
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// Runs one step of the order; a failure names the step in front of the underlying text.
template <typename F>
auto Step(const QString& what, F&& fn) -> decltype(fn()) {
  try {
    return fn();
  } catch (const EKestrinError& e) {
    throw EKestrinError(what + QStringLiteral(": ") + e.Text());
  }
}

// Replaces the first "[FILENAME]" and the first "[QTY]" of the template. Both places are
// found in the template itself, so a name that happens to contain "[QTY]" stays intact.
QString FillCartRecord(const QString& tmpl, const QString& fileName, const QString& qty) {
  const QString fileTag = QStringLiteral("[FILENAME]");
  const QString qtyTag = QStringLiteral("[QTY]");
  const qsizetype filePos = tmpl.indexOf(fileTag);
  const qsizetype qtyPos = tmpl.indexOf(qtyTag);
  if (filePos < 0 && qtyPos < 0) return tmpl;
  QString out;
  qsizetype at = 0;
  auto put = [&](qsizetype pos, const QString& tag, const QString& value) {
    out += tmpl.mid(at, pos - at);
    out += value;
    at = pos + tag.size();
  };
  if (filePos >= 0 && (qtyPos < 0 || filePos < qtyPos)) {
    put(filePos, fileTag, fileName);
    if (qtyPos >= 0) put(qtyPos, qtyTag, qty);
  } else {
    put(qtyPos, qtyTag, qty);
    if (filePos >= 0) put(filePos, fileTag, fileName);
  }
  out += tmpl.mid(at);
  return out;
}

}  // namespace

// --- TSpinEdit -----------------------------------------------------------------------------

TSpinEdit::TSpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
  setButtonSymbols(QAbstractSpinBox::UpDownArrows);
  setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
  setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  lineEdit()->setText(QStringLiteral("0"));
}

QString TSpinEdit::Text() const {
  return lineEdit()->text();
}

void TSpinEdit::SetText(const QString& text) {
  lineEdit()->setText(text);
}

int TSpinEdit::Value() const {
  bool ok = false;
  const int v = Text().toInt(&ok, 10);
  return ok ? v : 0;
}

void TSpinEdit::stepBy(int steps) {
  const qint64 next = static_cast<qint64>(Value()) + steps;
  const qint64 clamped =
      std::clamp<qint64>(next, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
  SetText(QString::number(clamped));
}

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const {
  return StepUpEnabled | StepDownEnabled;
}

QValidator::State TSpinEdit::validate(QString& input, int& /*pos*/) const {
  for (qsizetype i = 0; i < input.size(); ++i) {
    const QChar c = input[i];
    if (c >= '0' && c <= '9') continue;
    if (c == '-' && i == 0) continue;
    return QValidator::Invalid;
  }
  return QValidator::Acceptable;
}

// --- TGauge ----------------------------------------------------------------------------------

TGauge::TGauge(QWidget* parent) : QProgressBar(parent) {
  setRange(0, 100);
  setValue(0);
  setTextVisible(true);
}

void TGauge::SetMaxValue(qint64 max) {
  FMaxValue = std::max<qint64>(0, max);
  FProgress = std::clamp<qint64>(FProgress, 0, FMaxValue);
  Update();
}

void TGauge::SetProgress(qint64 progress) {
  FProgress = std::clamp<qint64>(progress, 0, FMaxValue);
  Update();
}

int TGauge::Percent() const {
  if (FMaxValue <= 0) return 0;
  return static_cast<int>(FProgress * 100 / FMaxValue);
}

QString TGauge::text() const {
  return QString::number(Percent()) + Suffix;
}

void TGauge::Update() {
  setValue(Percent());
  update();
}

// --- TUploadForm ---------------------------------------------------------------------------

TUploadForm::TUploadForm(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint |
                         Qt::MSWindowsFixedSizeDialogHint),
      FtpClient(std::make_unique<TFtpClient>()),
      HttpClient(std::make_unique<THttpClient>()) {
  setObjectName(QStringLiteral("TUploadForm"));
  setWindowTitle(QStringLiteral("사진 업로드"));
  setFixedSize(337, 100);

  sPanel1 = new QFrame(this);
  sPanel1->setObjectName(QStringLiteral("sPanel1"));
  sPanel1->setGeometry(0, 0, 337, 100);

  lblMessage = new QLabel(kAskQty, sPanel1);
  lblMessage->setObjectName(QStringLiteral("lblMessage"));
  lblMessage->setGeometry(8, 8, 257, 21);

  // lblSpeed lies under txtQty and shows once the quantity field is hidden.
  lblSpeed = new QLabel(sPanel1);
  lblSpeed->setObjectName(QStringLiteral("lblSpeed"));
  lblSpeed->setGeometry(272, 8, 57, 17);
  lblSpeed->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  txtQty = new TSpinEdit(sPanel1);
  txtQty->setObjectName(QStringLiteral("txtQty"));
  txtQty->setGeometry(281, 5, 49, 21);

  FileGauge = new TGauge(sPanel1);
  FileGauge->setObjectName(QStringLiteral("FileGauge"));
  FileGauge->setGeometry(8, 32, 321, 25);

  btnStart = new QPushButton(QStringLiteral("시 작"), sPanel1);
  btnStart->setObjectName(QStringLiteral("btnStart"));
  btnStart->setGeometry(253, 67, 75, 25);
  btnStart->setDefault(true);

  setTabOrder(btnStart, txtQty);
  btnStart->setFocus();

  connect(btnStart, &QPushButton::clicked, this,
          [this] { GuardHandler(this, [this] { btnStartClick(); }); });
  FtpClient->OnWorkBegin = [this](TWorkMode mode, qint64 max) { FtpClientWorkBegin(mode, max); };
  FtpClient->OnWork = [this](TWorkMode mode, qint64 count) { FtpClientWork(mode, count); };

  if (owner) {
    const QRect o = owner->frameGeometry();
    move(o.center() - QPoint(width() / 2, height() / 2));
  }
}

TUploadForm::~TUploadForm() = default;

QString TUploadForm::UserIDProblem(const QString& userID) {
  if (userID.isEmpty()) return QStringLiteral("사용자 ID가 비어 있어 주문할 수 없습니다");
  // Only blanks would name no folder at all: the folder walk skips such a name, and the
  // order would land in the day folder instead of the user's.
  if (userID.trimmed().isEmpty() || userID == QLatin1String(".") || userID == QLatin1String(".."))
    return QStringLiteral("사용자 ID \"%1\"(으)로는 주문 폴더를 만들 수 없습니다").arg(userID);
  for (QChar c : userID) {
    if (c == '/' || c == '\\')
      return QStringLiteral("사용자 ID에 \"/\" 또는 \"\\\" 문자가 있어 주문할 수 없습니다");
    if (c.unicode() < 32 || c.unicode() == 127)
      return QStringLiteral("사용자 ID에 제어 문자가 있어 주문할 수 없습니다");
  }
  return QString();
}

void TUploadForm::SetMessage(const QString& text) {
  lblMessage->setText(text);
  Pump();
}

void TUploadForm::btnStartClick() {
  if (FBusy) return;
  // Zero, a negative number, an empty text or one that is no number: ask again.
  if (txtQty->Value() <= 0) {
    ShowInfo(this, QString(), kAskQty);
    return;
  }
  QString problem = UserIDProblem(FUserID);
  if (problem.isEmpty() && (!FSheet || FSheet->Empty()))
    problem = QStringLiteral("주문할 인화 시트가 없습니다");
  if (!problem.isEmpty()) {
    ShowInfo(this, QString(), problem);
    done(mrCancel);
    return;
  }

  FBusy = true;
  btnStart->setEnabled(false);
  txtQty->hide();
  bool sent = false;
  try {
    SetMessage(QStringLiteral("서버에 연결 중 입니다."));
    bool connected = true;
    try {
      FtpClient->Connect();
    } catch (const EKestrinError& e) {
      ShowMessageBox(this, {QStringLiteral("FTP 에러"), QStringLiteral("FTP Error : ") + e.Text(),
                            TMsgIcon::None, QMessageBox::Ok, QMessageBox::Ok});
      connected = false;
    }
    if (connected) {
      if (FtpClient->Connected())
        sent = SendOrder();
      else
        ShowMessageBox(this, {QStringLiteral("네트워크 에러"),
                              QStringLiteral("인터넷 연결을 확인 후 다시 시도해주세요"),
                              TMsgIcon::None, QMessageBox::Ok, QMessageBox::Ok});
    }
  } catch (const std::exception& e) {
    ShowStandardError(this, ErrorText(e));
  } catch (...) {
    ShowStandardError(this, QStringLiteral("알 수 없는 오류가 발생했습니다"));
  }
  FtpClient->Disconnect();
  FBusy = false;
  // Only an order whose cart record is on the server counts as sent; otherwise the caller
  // keeps the sheet's photo so that the order can be tried again.
  done(sent ? mrOk : mrCancel);
}

QString TUploadForm::FetchServerStamp() {
  const QByteArray body = Step(QStringLiteral("서버 시각을 받아오지 못했습니다"), [this] {
    return HttpClient->Get(QStringLiteral("/OneClick/NowDateTime.html"));
  });
  const QString stamp = QString::fromUtf8(body);
  // The stamp names the day folder (its first 8 characters) and the order's files, so it
  // must look like one: 8 digits first, then only digits, blanks, "-", "_" or ".".
  bool ok = stamp.size() >= 8 && stamp.size() <= 32;
  for (qsizetype i = 0; ok && i < stamp.size(); ++i) {
    const QChar c = stamp[i];
    const bool digit = c >= '0' && c <= '9';
    ok = digit || (i >= 8 && (c == ' ' || c == '-' || c == '_' || c == '.'));
  }
  if (!ok) {
    QString shown = stamp.left(40);
    for (QChar& c : shown)
      if (c.unicode() < 32) c = ' ';
    throw EKestrinError(
        stamp.isEmpty()
            ? QStringLiteral("서버 시각을 받아오지 못했습니다: 웹 서버의 응답이 비어 있습니다")
            : QStringLiteral("서버 시각을 받아오지 못했습니다: 웹 서버의 응답(\"%1\")이 "
                             "날짜와 시각이 아닙니다")
                  .arg(shown));
  }
  return stamp;
}

bool TUploadForm::SendOrder() {
  const QString tmpl = FCartFormat == QLatin1String("6")   ? kCartTemplate6
                       : FCartFormat == QLatin1String("7") ? kCartTemplate7
                                                           : QString();
  const QString stamp = FetchServerStamp();
  const QString day = stamp.left(8);
  const QString thumbFolder = QStringLiteral("/images/thumbs/") + day + '/' + FUserID;
  const QString orderFolder = QStringLiteral("/test_images/") + day + '/' + FUserID;
  // The thumbnail is stored under its path with blanks made "_", so that is the folder it
  // needs; with a blank in the user ID the two differ.
  const QString thumbStoreFolder = QString(thumbFolder).replace(' ', '_');
  const QString folderError = QStringLiteral("FTP 서버에 폴더를 만들지 못했습니다 (%1)");
  Step(folderError.arg(thumbStoreFolder), [&] { ForceFtpDir(*FtpClient, thumbStoreFolder); });
  Step(folderError.arg(orderFolder), [&] { ForceFtpDir(*FtpClient, orderFolder); });

  const QString sheetName = QStringLiteral("%1_%2_%3.jpg").arg(stamp, FUserID, FItemName);
  SetMessage(QStringLiteral("전송중"));
  const QString cartRecord = FillCartRecord(tmpl, sheetName, txtQty->Text());

  if (!UploadSheetImages(sheetName, thumbFolder + '/' + sheetName) || !FtpClient->Connected())
    throw EKestrinError(
        QStringLiteral("FTP 서버와의 연결이 끊어져 주문을 마치지 못했습니다. 다시 시도해 주세요"));

  const QString cartName = QStringLiteral("%1[%2]_CartInfo.txt").arg(FUserID, stamp);
  QByteArray cartBytes = cartRecord.toUtf8();
  QBuffer cartStream(&cartBytes);
  cartStream.open(QIODevice::ReadOnly);
  Step(QStringLiteral("주문 정보를 올리지 못했습니다 (%1)").arg(cartName),
       [&] { FtpClient->Put(cartStream, cartName); });
  FOrderSent = true;
  SetMessage(QStringLiteral("이미지 전송 완료. 장바구니로 이동합니다."));

  FCartUrl = QStringLiteral("http://") + WebServer() +
             QStringLiteral("/mymenu/newp_bsprocess_test.html") +
             QStringLiteral("?cartinfo=%1&dir=%2&id=%3&httpapp=%4")
                 .arg(EncodeQueryValue(cartName), EncodeQueryValue(day), EncodeQueryValue(FUserID),
                      EncodeQueryValue(FHttpApp));
  if (!StartBrowser(FCartUrl))
    ShowInfo(this, QString(),
             QStringLiteral("주문은 전송되었지만 웹 브라우저를 열 수 없습니다.\n"
                            "아래 주소를 웹 브라우저에서 직접 열어 주문을 마쳐 주세요.\n\n") +
                 FCartUrl);
  return true;
}

bool TUploadForm::UploadSheetImages(const QString& sheetName, const QString& thumbPath) {
  if (!FtpClient->Connected()) return false;
  TBitmap32 thumb(kThumbSize, kThumbSize);
  thumb.Clear(clWhite32);
  TRect fit;
  FitRect(FSheet->BoundsRect(), thumb.BoundsRect(), fit);
  // Each thumbnail pixel takes one sheet pixel; the rest stays white.
  const QImage scaled = ScaleImagePart(FSheet->Image(), FSheet->BoundsRect(), fit.Width(),
                                       fit.Height(), TResamplerKind::Nearest);
  BlitImage(thumb.Image(), fit.Left, fit.Top, scaled, thumb.BoundsRect());

  QBuffer stream;
  stream.open(QIODevice::ReadWrite);
  BitmapToJpegStream(*FSheet, stream);
  Step(QStringLiteral("인화 사진을 올리지 못했습니다 (%1)").arg(sheetName),
       [&] { FtpClient->Put(stream, sheetName); });

  stream.close();
  stream.setData(QByteArray());
  stream.open(QIODevice::ReadWrite);
  BitmapToJpegStream(thumb, stream);
  const QString thumbName = QString(thumbPath).replace(' ', '_');
  Step(QStringLiteral("미리보기 사진을 올리지 못했습니다 (%1)").arg(thumbName),
       [&] { FtpClient->Put(stream, thumbName); });
  return true;
}

bool TUploadForm::StartBrowser(const QString& url) {
  QString program = BrowserProgram();
  if (program.isEmpty()) {
    for (const char* name : {"google-chrome", "chromium", "chromium-browser"}) {
      program = QStandardPaths::findExecutable(QString::fromLatin1(name));
      if (!program.isEmpty()) break;
    }
  }
  if (!program.isEmpty()) return QProcess::startDetached(program, {url});
  return QDesktopServices::openUrl(QUrl(url, QUrl::StrictMode));
}

void TUploadForm::FtpClientWorkBegin(TWorkMode /*mode*/, qint64 workCountMax) {
  FileGauge->SetProgress(0);
  FileGauge->SetMaxValue(workCountMax);
  FStartTime = QDateTime::currentDateTime();
}

void TUploadForm::FtpClientWork(TWorkMode /*mode*/, qint64 workCount) {
  FileGauge->SetProgress(workCount);
  const qint64 seconds = std::abs(QDateTime::currentDateTime().msecsTo(FStartTime)) / 1000;
  float rate = 0;
  if (seconds != 0) rate = static_cast<float>(workCount) / 1024.0f / static_cast<float>(seconds);
  const QLocale grouped(QLocale::English, QLocale::UnitedStates);
  lblSpeed->setText(grouped.toString(static_cast<qlonglong>(std::llround(rate))) +
                    QStringLiteral(" kbps"));
  // The label keeps its right edge and grows to the left when a rate needs more room.
  const int right = 272 + 57;
  const int width = std::max(57, lblSpeed->fontMetrics().horizontalAdvance(lblSpeed->text()) + 4);
  lblSpeed->setGeometry(right - width, 8, width, 17);
  Pump();
}

void TUploadForm::closeEvent(QCloseEvent* event) {
  // The transfer runs to its end; the dialog closes with the result of the order afterwards.
  if (FBusy) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void TUploadForm::reject() {
  if (FBusy) return;
  done(mrCancel);
}

}  // namespace Kestrin
