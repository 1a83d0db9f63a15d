// TKestrin_Index: the program's main window. Web banner on top; on the left the folder tree
// and the thumbnail list (the photo browser); on the right the tool bar with the seven
// photo-type buttons and the edit and order commands, above the view of the print sheet.
#pragma once

#include <QButtonGroup>
#include <QFileSystemModel>
#include <QFrame>
#include <QLabel>
#include <QMainWindow>
#include <QSplitter>
#include <QStringList>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <array>
#include <functional>

#include "app/uImageSelector.h"
#include "gfx/GR32_Image.h"
#include "sheet/uPhotoTypes.h"
#include "sheet/uTileLayer.h"

class QWebEngineView;

namespace Kestrin {

// The panel that holds the sheet area: the grey backdrop, the title and the view, which keeps
// its distance to all four sides when the panel grows or shrinks.
class TSheetPanel : public QWidget {
  Q_OBJECT

 public:
  explicit TSheetPanel(QWidget* parent = nullptr) : QWidget(parent) {}
  QFrame* Shape = nullptr;
  QWidget* Anchored = nullptr;
  QMargins AnchorMargins;  // distances of Anchored to the panel's four sides

 protected:
  void resizeEvent(QResizeEvent* event) override;
};

class TKestrin_Index : public QMainWindow {
  Q_OBJECT

 public:
  explicit TKestrin_Index(QWidget* parent = nullptr);
  ~TKestrin_Index() override;

  // Components. Public so that tests can drive and inspect them.
  QWidget* WebBanner = nullptr;           // the banner, or a placeholder without web engine
  QWebEngineView* FBannerView = nullptr;  // the banner's browser, null with KESTRIN_NO_BANNER=1
  QSplitter* sSplitter1 = nullptr;        // between the left panel and the sheet side
  QWidget* sPanel2 = nullptr;
  QSplitter* sSplitter2 = nullptr;  // between the folder tree and the thumbnail list
  QTreeView* sShellTreeView = nullptr;
  QFileSystemModel* FFolderModel = nullptr;
  TImageSelector* ImageSelector = nullptr;
  QWidget* sPanel1 = nullptr;
  QToolBar* ToolBar = nullptr;
  std::array<QToolButton*, kPhotoTypeCount> btnTypes{};  // btnType1 ... btnType7
  QButtonGroup* FTypeGroup = nullptr;
  QFrame* ToolButton1 = nullptr;
  QToolButton* btnTrimming = nullptr;
  QToolButton* btnOrder = nullptr;
  TSheetPanel* Panel1 = nullptr;
  QFrame* Shape = nullptr;
  QLabel* lblTitle = nullptr;
  TImgView32* ImgView = nullptr;
  QFrame* WaitPanel = nullptr;
  QLabel* WaitImage = nullptr;
  QLabel* sLabelFX12 = nullptr;

  // Fields.
  TPhotoTypes PhotoTypes;
  std::int32_t FCurrentType = -1;
  QString FUserID;
  // The file of the photo on the sheet: set when a chosen photo is accepted, kept through
  // edits and orders. The editor's revert reloads this file.
  QString FPhotoFile;

  // The command line the first activation reads (argument 1 is the user ID). Taken from the
  // application at creation; tests may replace it before the window is activated.
  QStringList FCommandLine;
  // Set when the first activation found no user ID and asked the application to end.
  bool FTerminateRequested = false;

  // Routines of the window.
  void ApplyPhotoType(std::int32_t index);
  TTileLayer* CurrentTileLayer() const;
  void BeginWait();
  void EndWait();
  // Selects folder in the tree (which lists it through sShellTreeViewChange).
  void SelectFolder(const QString& folder);
  // The folder the tree starts at: the desktop folder, else the home folder.
  static QString StartFolder();

 public slots:
  void FormCreate();
  void FormActivate();
  void WebBannerProgressChange(int progress, int progressMax);
  void btnTypeClick(QAbstractButton* sender);
  void sShellTreeViewChange(const QModelIndex& node);
  void ImageSelectorImageSelect(int idx);
  void ImageSelectorMouseEnter();
  void btnTrimmingClick();
  void btnOrderClick();

 protected:
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void CreateComponents();
  QToolButton* MakeToolButton(const QString& name, const QString& caption, const QIcon& icon);

  bool FShownOnce = false;
  void RevealFolder(const QModelIndex& index);
  // Revealing the start folder while the tree loads (see SelectFolder).
  QPersistentModelIndex FRevealIndex;
  QList<QMetaObject::Connection> FRevealConnections;
  bool FActivatedOnce = false;
};

}  // namespace Kestrin
