// The order upload dialog: asks for the number of prints, stores the sheet JPEG, its 96 x 96
// thumbnail and the cart record on the shop's FTP server and opens the cart page in the browser.
#pragma once

#include <QAbstractSpinBox>
#include <QDateTime>
#include <QDialog>
#include <QProgressBar>
#include <QString>
#include <memory>

#include "net/uFtpClient.h"

class QFrame;
class QLabel;
class QPushButton;

namespace Kestrin {

class TBitmap32;
class THttpClient;

// Spin edit for a whole number without limits. Only digits can be typed (a leading minus is
// accepted so that stepped-down values stay editable); the arrows, the arrow keys and the
// wheel step by 1. The text stays as typed ("007" stays "007").
class TSpinEdit : public QAbstractSpinBox {
  Q_OBJECT
 public:
  explicit TSpinEdit(QWidget* parent = nullptr);
  QString Text() const;
  void SetText(const QString& text);
  // The text read as a whole number; empty, not a number or out of range counts as 0.
  int Value() const;
  void stepBy(int steps) override;
  QValidator::State validate(QString& input, int& pos) const override;

 protected:
  StepEnabled stepEnabled() const override;
};

// Progress bar that shows progress * 100 / maximum (fraction cut off) followed by a suffix;
// with a maximum of 0 it shows 0.
class TGauge : public QProgressBar {
  Q_OBJECT
 public:
  explicit TGauge(QWidget* parent = nullptr);
  void SetMaxValue(qint64 max);
  void SetProgress(qint64 progress);  // kept within 0 ... maximum
  qint64 MaxValue() const { return FMaxValue; }
  qint64 Progress() const { return FProgress; }
  int Percent() const;
  QString Suffix = QStringLiteral("%");
  QString text() const override;

 private:
  void Update();
  qint64 FMaxValue = 0;
  qint64 FProgress = 0;
};

class TUploadForm : public QDialog {
  Q_OBJECT
 public:
  explicit TUploadForm(QWidget* owner = nullptr);
  ~TUploadForm() override;

  // Components.
  QFrame* sPanel1 = nullptr;
  QLabel* lblMessage = nullptr;
  TSpinEdit* txtQty = nullptr;
  QLabel* lblSpeed = nullptr;
  TGauge* FileGauge = nullptr;
  QPushButton* btnStart = nullptr;
  std::unique_ptr<TFtpClient> FtpClient;
  std::unique_ptr<THttpClient> HttpClient;

  // Moment at which the current FTP data transfer began.
  QDateTime FStartTime;
  // Set by the caller before the dialog is shown.
  QString FUserID;                    // user ID of the order ("guest" for a guest order)
  const TBitmap32* FSheet = nullptr;  // the rendered print sheet, borrowed from the caller
  QString FCartFormat;                // cart record template: "6" or "7"
  QString FItemName;                  // item word of the sheet file name
  QString FHttpApp;                   // httpapp value of the cart page

  // Handlers.
  void btnStartClick();
  void FtpClientWorkBegin(TWorkMode mode, qint64 workCountMax);
  void FtpClientWork(TWorkMode mode, qint64 workCount);

  // The cart page address of the order (empty until the order has been sent).
  const QString& CartUrl() const { return FCartUrl; }
  // True once the cart record is stored: the order has really been sent.
  bool OrderSent() const { return FOrderSent; }
  // True while a press of Start is being handled.
  bool Busy() const { return FBusy; }

  // Esc and the close button: ignored while a transfer runs.
  void reject() override;

  // Why a user ID cannot name the order's folders and files (empty when it can).
  static QString UserIDProblem(const QString& userID);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void StartPressed();
  // Sends the order over the connected FTP client; true once the cart record is stored.
  bool SendOrder();
  bool UploadSheetImages(const QString& sheetName, const QString& thumbPath);
  QString FetchServerStamp();
  bool StartBrowser(const QString& url);
  void SetMessage(const QString& text);

  bool FBusy = false;
  bool FOrderSent = false;
  QString FCartUrl;
};

}  // namespace Kestrin
