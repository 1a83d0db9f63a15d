// The member login dialog: a member ID and password checked by the shop's web server, or a
// guest order. The last member ID is kept in Kestrin.cfg next to the executable.
#pragma once

#include <QDialog>
#include <QString>

#include "net/uHttpClient.h"

class QCheckBox;
class QFrame;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

namespace Kestrin {

// Name of the saved-ID file in the executable's folder.
extern const QString CfgFileName;

class TfrmLogin : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmLogin(QWidget* owner);
  ~TfrmLogin() override;

  // Components.
  QFrame* sPanel1 = nullptr;
  QLabel* sLabel1 = nullptr;
  QLabel* sLabel2 = nullptr;
  QLineEdit* edtID = nullptr;
  QLineEdit* edtPW = nullptr;
  QCheckBox* cbSave = nullptr;
  QPushButton* btnLogin = nullptr;
  QPushButton* btnGuest = nullptr;
  THttpClient httpLogin;

  QString FAppDir;   // folder of the executable, ending in "/"
  QString FCfgFile;  // FAppDir + CfgFileName; may be pointed elsewhere before the dialog shows
  QString FUserID;   // trimmed member ID after a login, "guest" after the guest button

  // Sends the login request; true when the answer body is exactly "OK".
  bool CheckLogin(const QString& id, const QString& password);
  // The saved member ID, or empty when there is no file or no "UserID" entry.
  QString LoadSavedID();
  // Writes "UserID=" + id into the saved-ID file, keeping its other lines.
  void SaveID(const QString& id);

  // Closing through the title bar, like Esc, ends the dialog with mrCancel.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormCreate();
  void FormShow();
  bool FormKeyDown(QObject* sender, QKeyEvent* key);
  bool edtIDKeyDown(QKeyEvent* key);
  bool edtPWKeyDown(QKeyEvent* key);
  void btnLoginClick();
  void btnGuestClick();

  bool FShown = false;
};

}  // namespace Kestrin
