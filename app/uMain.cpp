#include "uMain.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QScreen>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <QWebEngineView>

#include "app/uLook.h"
#include "app/uThumbDecoder.h"
#include "common/uErrors.h"
#include "common/uSettings.h"
#include "editor/uTrimmingForm.h"
#include "gfx/uPhotoLoader.h"
#include "order/LoginFrm.h"
#include "order/uUploadForm.h"
#include "ui/uForms.h"
#include "ui/uMessages.h"

namespace Kestrin {

namespace {

const QString kInitialTitle = QStringLiteral("메뉴에서 증명사진 종류를 선택해주세요");
const QColor kTitleColor(0x3B, 0x5A, 0x82);

// Where the sheet view sits in Panel1 at the window's initial size (900 x 700): 9, 48,
// 694 x 449. It keeps these distances to the four sides when the window is resized.
const QMargins kImgViewAnchors(9, 48, 21, 44);

bool BannerDisabled() {
  return qEnvironmentVariableIntValue("KESTRIN_NO_BANNER") == 1;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// TSheetPanel

void TSheetPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (Shape) Shape->setGeometry(rect());
  if (Anchored) {
    const QRect r(AnchorMargins.left(), AnchorMargins.top(),
                  std::max(0, width() - AnchorMargins.left() - AnchorMargins.right()),
                  std::max(0, height() - AnchorMargins.top() - AnchorMargins.bottom()));
    Anchored->setGeometry(r);
  }
}

// ---------------------------------------------------------------------------------------
// Construction

TKestrin_Index::TKestrin_Index(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("Kestrin_Index"));
  FCommandLine = QCoreApplication::arguments();
  CreateComponents();
  FormCreate();
}

TKestrin_Index::~TKestrin_Index() {
  // The layers refer to the view; free them while it still exists.
  if (ImgView) ImgView->Layers()->Clear();
}

QToolButton* TKestrin_Index::MakeToolButton(const QString& name, const QString& caption,
                                            const QIcon& icon) {
  auto* b = new QToolButton(ToolBar);
  b->setObjectName(name);
  b->setText(caption);
  b->setIcon(icon);
  b->setIconSize(QSize(32, 32));
  b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  b->setFixedSize(65, 52);
  b->setAutoRaise(true);
  b->setFocusPolicy(Qt::NoFocus);
  ToolBar->addWidget(b);
  return b;
}

void TKestrin_Index::CreateComponents() {
  setWindowTitle(QStringLiteral("Kestrin 증명사진 1.2.1"));
  setMinimumSize(800, 600);
  resize(900, 700);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect avail = screen->availableGeometry();
    move(avail.center() - QPoint(width() / 2, height() / 2));
  }

  auto* central = new QWidget(this);
  central->setObjectName(QStringLiteral("ClientArea"));
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  setCentralWidget(central);

  // Banner across the top.
  if (BannerDisabled()) {
    WebBanner = new QWidget(central);
  } else {
    FBannerView = new QWebEngineView(central);
    WebBanner = FBannerView;
  }
  WebBanner->setObjectName(QStringLiteral("WebBanner"));
  WebBanner->setFixedHeight(97);
  column->addWidget(WebBanner);

  // Left panel and sheet side, with a splitter between.
  sSplitter1 = new QSplitter(Qt::Horizontal, central);
  sSplitter1->setObjectName(QStringLiteral("sSplitter1"));
  sSplitter1->setHandleWidth(6);
  sSplitter1->setChildrenCollapsible(false);
  column->addWidget(sSplitter1, 1);

  sPanel2 = new QWidget(sSplitter1);
  sPanel2->setObjectName(QStringLiteral("sPanel2"));
  sPanel2->setMinimumWidth(170);
  auto* leftCol = new QVBoxLayout(sPanel2);
  leftCol->setContentsMargins(2, 2, 2, 2);
  leftCol->setSpacing(0);

  sSplitter2 = new QSplitter(Qt::Vertical, sPanel2);
  sSplitter2->setObjectName(QStringLiteral("sSplitter2"));
  sSplitter2->setHandleWidth(6);
  sSplitter2->setChildrenCollapsible(false);
  leftCol->addWidget(sSplitter2);

  FFolderModel = new QFileSystemModel(this);
  FFolderModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  FFolderModel->setReadOnly(true);
  FFolderModel->setRootPath(QDir::rootPath());
  sShellTreeView = new QTreeView(sSplitter2);
  sShellTreeView->setObjectName(QStringLiteral("sShellTreeView"));
  sShellTreeView->setModel(FFolderModel);
  for (int c = 1; c < FFolderModel->columnCount(); ++c) sShellTreeView->hideColumn(c);
  sShellTreeView->setHeaderHidden(true);
  sShellTreeView->setIndentation(19);
  sShellTreeView->setFrameShape(QFrame::NoFrame);
  sShellTreeView->setSelectionMode(QAbstractItemView::SingleSelection);
  sShellTreeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
  sShellTreeView->setMinimumHeight(40);

  ImageSelector = new TImageSelector(sSplitter2);
  ImageSelector->setObjectName(QStringLiteral("ImageSelector"));
  sSplitter2->addWidget(sShellTreeView);
  sSplitter2->addWidget(ImageSelector);
  sSplitter2->setStretchFactor(0, 0);
  sSplitter2->setStretchFactor(1, 1);
  sSplitter2->setSizes({153, 400});

  sPanel1 = new QWidget(sSplitter1);
  sPanel1->setObjectName(QStringLiteral("sPanel1"));
  auto* rightCol = new QVBoxLayout(sPanel1);
  rightCol->setContentsMargins(0, 0, 0, 0);
  rightCol->setSpacing(0);
  sSplitter1->addWidget(sPanel2);
  sSplitter1->addWidget(sPanel1);
  sSplitter1->setStretchFactor(0, 0);
  sSplitter1->setStretchFactor(1, 1);
  sSplitter1->setSizes({170, 724});

  // Tool bar: seven photo types, a separator, edit, order.
  ToolBar = new QToolBar(sPanel1);
  ToolBar->setObjectName(QStringLiteral("ToolBar"));
  ToolBar->setFixedHeight(62);
  ToolBar->setIconSize(QSize(32, 32));
  ToolBar->setMovable(false);
  ToolBar->setFloatable(false);
  ToolBar->setContentsMargins(2, 2, 2, 2);
  rightCol->addWidget(ToolBar);

  FTypeGroup = new QButtonGroup(this);
  FTypeGroup->setExclusive(true);
  for (int i = 0; i < kPhotoTypeCount; ++i) {
    QToolButton* b =
        MakeToolButton(QStringLiteral("btnType%1").arg(i + 1), PhotoTypeCaption(i), ToolIcon(i));
    b->setCheckable(true);
    b->setProperty("Tag", i);
    FTypeGroup->addButton(b, i);
    btnTypes[i] = b;
  }
  ToolButton1 = new QFrame(ToolBar);
  ToolButton1->setObjectName(QStringLiteral("ToolButton1"));
  ToolButton1->setFrameShape(QFrame::VLine);
  ToolButton1->setFrameShadow(QFrame::Sunken);
  ToolButton1->setFixedSize(21, 40);
  ToolBar->addWidget(ToolButton1);
  btnTrimming = MakeToolButton(QStringLiteral("btnTrimming"), QStringLiteral("이미지 편집"),
                               ToolIcon(kIconEdit));
  btnOrder =
      MakeToolButton(QStringLiteral("btnOrder"), QStringLiteral("주문하기"), ToolIcon(kIconOrder));

  // The sheet area.
  Panel1 = new TSheetPanel(sPanel1);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  rightCol->addWidget(Panel1, 1);
  Shape = new QFrame(Panel1);
  Shape->setObjectName(QStringLiteral("Shape"));
  Shape->setFrameShape(QFrame::Box);
  Shape->setLineWidth(1);
  Shape->setAutoFillBackground(true);
  Shape->setStyleSheet(
      QStringLiteral("#Shape { background-color: #808080; border: 1px solid #C0C0C0; }"));
  Panel1->Shape = Shape;

  lblTitle = new QLabel(kInitialTitle, Panel1);
  lblTitle->setObjectName(QStringLiteral("lblTitle"));
  QFont titleFont;
  titleFont.setFamilies({QStringLiteral("Arial"), KoreanFontFamily()});
  titleFont.setPixelSize(19);
  titleFont.setBold(true);
  lblTitle->setFont(titleFont);
  lblTitle->setStyleSheet(QStringLiteral("#lblTitle { color: #3B5A82; background: transparent; }"));
  // At least 295 wide; wider when the title needs it (the Korean glyphs run wider).
  lblTitle->setGeometry(8, 10, std::max(295, lblTitle->sizeHint().width()), 30);

  ImgView = new TImgView32(Panel1);
  ImgView->setObjectName(QStringLiteral("ImgView"));
  ImgView->setGeometry(9, 48, 694, 449);
  Panel1->Anchored = ImgView;
  Panel1->AnchorMargins = kImgViewAnchors;

  // The wait indicator, fixed in the client area.
  WaitPanel = new QFrame(this);
  WaitPanel->setObjectName(QStringLiteral("WaitPanel"));
  WaitPanel->setFrameShape(QFrame::StyledPanel);
  WaitPanel->setAutoFillBackground(true);
  WaitPanel->setGeometry(328, 288, 217, 57);
  WaitImage = new QLabel(WaitPanel);
  WaitImage->setObjectName(QStringLiteral("WaitImage"));
  WaitImage->setGeometry(20, 13, 32, 32);
  WaitImage->setPixmap(WaitPicture());
  sLabelFX12 = new QLabel(QStringLiteral("처리중입니다.\n잠시만 기다려 주세요."), WaitPanel);
  sLabelFX12->setObjectName(QStringLiteral("sLabelFX12"));
  QFont waitFont(KoreanFontFamily());
  waitFont.setPixelSize(11);
  waitFont.setBold(true);
  sLabelFX12->setFont(waitFont);
  sLabelFX12->setStyleSheet(QStringLiteral("#sLabelFX12 { color: #3B5A82; }"));
  sLabelFX12->setGeometry(66, 12, 145, 34);
  WaitPanel->hide();

  // Event bindings.
  connect(FTypeGroup, &QButtonGroup::buttonClicked, this, &TKestrin_Index::btnTypeClick);
  connect(
      sShellTreeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
      [this](const QModelIndex& current, const QModelIndex&) { sShellTreeViewChange(current); });
  connect(ImageSelector, &TImageSelector::ImageSelect, this,
          &TKestrin_Index::ImageSelectorImageSelect);
  connect(ImageSelector, &TImageSelector::MouseEnter, this,
          &TKestrin_Index::ImageSelectorMouseEnter);
  connect(btnTrimming, &QToolButton::clicked, this, &TKestrin_Index::btnTrimmingClick);
  connect(btnOrder, &QToolButton::clicked, this, &TKestrin_Index::btnOrderClick);
  if (FBannerView) {
    // loadProgress reaches 100 before a page has finished, so the end of loading counts too.
    connect(FBannerView, &QWebEngineView::loadProgress, this,
            [this](int progress) { WebBannerProgressChange(progress, 100); });
    connect(FBannerView, &QWebEngineView::loadFinished, this,
            [this](bool) { WebBannerProgressChange(100, 100); });
  }
}

// ---------------------------------------------------------------------------------------
// Start-up

void TKestrin_Index::FormCreate() {
  GuardHandler(this, [this] {
    ImgView->SetScale(1);
    ImgView->SetScaleMode(TImgView32::smOptimal);
    ImgView->SetCentered(true);
    ImgView->SetColor(0xFF808080);
    ImgView->Bitmap().SetDrawMode(TDrawMode::dmBlend);
    FCurrentType = -1;
    InitPhotoTypes(PhotoTypes);
  });
}

QString TKestrin_Index::StartFolder() {
  const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  if (!desktop.isEmpty() && QFileInfo(desktop).isDir()) return QDir::cleanPath(desktop);
  return QDir::homePath();
}

void TKestrin_Index::SelectFolder(const QString& folder) {
  const QString path = QDir::cleanPath(folder);
  const QModelIndex index = FFolderModel->index(path);
  if (!index.isValid()) return;
  sShellTreeView->setCurrentIndex(index);
  RevealFolder(index);
  // The model reads and sorts folders in the background: the rows above the folder appear,
  // and move, only as their parents are read and sorted. The folder is revealed again after
  // each of those changes until the user takes the tree in hand or selects another folder.
  FRevealIndex = QPersistentModelIndex(index);
  if (!FRevealConnections.isEmpty()) return;
  const auto reveal = [this] {
    QTimer::singleShot(0, this, [this] {
      if (FRevealIndex.isValid() && sShellTreeView->currentIndex() == FRevealIndex)
        RevealFolder(FRevealIndex);
    });
  };
  FRevealConnections << connect(FFolderModel, &QFileSystemModel::directoryLoaded, this, reveal)
                     << connect(FFolderModel, &QAbstractItemModel::layoutChanged, this, reveal);
  sShellTreeView->viewport()->installEventFilter(this);
  sShellTreeView->installEventFilter(this);
}

bool TKestrin_Index::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == sShellTreeView || watched == sShellTreeView->viewport()) &&
      (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::Wheel ||
       event->type() == QEvent::KeyPress)) {
    // The user steers the tree now: stop revealing the start folder.
    for (const auto& c : std::as_const(FRevealConnections)) QObject::disconnect(c);
    FRevealConnections.clear();
    FRevealIndex = QPersistentModelIndex();
    sShellTreeView->viewport()->removeEventFilter(this);
    sShellTreeView->removeEventFilter(this);
  }
  return QMainWindow::eventFilter(watched, event);
}

void TKestrin_Index::RevealFolder(const QModelIndex& index) {
  for (QModelIndex p = index.parent(); p.isValid(); p = p.parent()) sShellTreeView->expand(p);
  sShellTreeView->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void TKestrin_Index::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (FShownOnce) return;
  FShownOnce = true;
  // The tree fills itself and selects its start folder, which lists that folder's photos.
  SelectFolder(StartFolder());
}

void TKestrin_Index::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && !FActivatedOnce) {
    // Settled once per run; the login dialog runs after the activation event has finished.
    FActivatedOnce = true;
    QMetaObject::invokeMethod(this, &TKestrin_Index::FormActivate, Qt::QueuedConnection);
  }
}

void TKestrin_Index::FormActivate() {
  GuardHandler(this, [this] {
    if (FBannerView)
      FBannerView->setUrl(QUrl(QStringLiteral("http://") + WebServer() +
                               QStringLiteral("/clients/index_top.html")));
    FUserID.clear();
    const QString argument = FCommandLine.value(1);
    if (!argument.isEmpty()) {
      FUserID = argument;
    } else {
      {
        TfrmLogin login(this);
        if (login.exec() == mrOk) FUserID = login.FUserID;
      }
      if (FUserID.isEmpty()) {
        FTerminateRequested = true;
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        return;
      }
    }
    sShellTreeView->setFocus(Qt::OtherFocusReason);
  });
}

void TKestrin_Index::WebBannerProgressChange(int progress, int progressMax) {
  if (progress != progressMax || !FBannerView) return;
  // Both settings in one trap: the first failure (no document yet) ends the attempt quietly.
  FBannerView->page()->runJavaScript(
      QStringLiteral("try { document.body.style.overflowX = 'hidden';"
                     " document.body.style.overflowY = 'hidden'; } catch (e) {}"));
}

// ---------------------------------------------------------------------------------------
// Wait indicator

void TKestrin_Index::BeginWait() {
  WaitPanel->show();
  WaitPanel->raise();
  if (QApplication::overrideCursor())
    QApplication::changeOverrideCursor(Qt::WaitCursor);
  else
    QApplication::setOverrideCursor(Qt::WaitCursor);
  // Paint the panel before the work starts, and do nothing else: the panel is painted at
  // once and the other pending repaints are delivered. A click, a key or a queued call that
  // is waiting runs after the operation, never nested inside it (processEvents, even without
  // user input, would deliver posted input events and queued calls too).
  QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
  WaitPanel->repaint();
}

void TKestrin_Index::EndWait() {
  WaitPanel->hide();
  // No nesting count: one EndWait lowers the indicator however often it was raised.
  while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

// ---------------------------------------------------------------------------------------
// Photo type selection

TTileLayer* TKestrin_Index::CurrentTileLayer() const {
  if (ImgView->Layers()->Count() == 0) return nullptr;
  return dynamic_cast<TTileLayer*>(ImgView->Layers()->Items(0));
}

void TKestrin_Index::ApplyPhotoType(std::int32_t index) {
  const PhotoType& t = PhotoTypes.at(index);
  FCurrentType = index;
  lblTitle->setText(t.Title);
  lblTitle->resize(std::max(295, lblTitle->sizeHint().width()), 30);
  ImgView->Layers()->Clear();
  FPhotoFile.clear();
  ImgView->Bitmap().SetSize(t.SheetWidth, t.SheetHeight);
  ImgView->Bitmap().Clear(0xFFFFFFFF);
  ImgView->BitmapChanged();
  auto* layer = new TTileLayer(ImgView->Layers());
  layer->SetScaled(true);
  layer->SetMargins(t.Margins);
  layer->SetGrid(t.Cols, t.Rows);
  layer->SetGaps(t.Gap, t.Gap);
  layer->SetLocation(TFloatRect::FromRect(ImgView->Bitmap().BoundsRect()));
}

void TKestrin_Index::btnTypeClick(QAbstractButton* sender) {
  GuardHandler(this, [this, sender] {
    const int tag = sender->property("Tag").toInt();
    const TTileLayer* layer = CurrentTileLayer();
    if (layer && !layer->FPhoto().Empty()) {
      const auto answer =
          AskWarningYesNo(this, QStringLiteral("Warning"),
                          QStringLiteral("작성중인 증명사진이 취소됩니다.\r\n취소하시겠습니까?"));
      if (answer != QMessageBox::Yes) {
        // Press the current type's button again; the group releases the clicked one.
        if (FCurrentType >= 0 && FCurrentType < kPhotoTypeCount)
          btnTypes[FCurrentType]->setChecked(true);
        return;
      }
    }
    ApplyPhotoType(tag);
  });
}

// ---------------------------------------------------------------------------------------
// Photo browser

void TKestrin_Index::sShellTreeViewChange(const QModelIndex& node) {
  GuardHandler(this, [this, node] {
    if (!node.isValid()) return;
    sShellTreeView->expand(node);
    const QString folder = FFolderModel->filePath(node);
    ImageSelector->Model()->Clear();
    BeginWait();
    try {
      ImageSelector->ListFolder(folder);
    } catch (...) {
      EndWait();
      throw;
    }
    EndWait();
  });
}

void TKestrin_Index::ImageSelectorImageSelect(int idx) {
  GuardHandler(this, [this, idx] {
    BeginWait();
    try {
      TTileLayer* layer = CurrentTileLayer();
      if (!layer) {
        ShowInfo(this, QStringLiteral("안내"),
                 QStringLiteral("증명사진 종류를 먼저 선택해 주세요"));
        EndWait();
        return;
      }
      const QString fileName = ImageSelector->FileNameOf(idx);
      if (idx >= 0 && idx < ImageSelector->Model()->Count() &&
          ImageSelector->Model()->Entry(idx).Thumb.isNull()) {
        // The list could not show this file. Say why rather than load a damaged picture
        // (a JPEG cut short would otherwise come up with its lower part grey).
        const TThumbResult check = DecodeThumbnail(fileName, kThumbWidth, kThumbHeight);
        if (check.Status != TThumbStatus::Ok) throw EKestrinError(check.Problem);
      }
      TBitmap32 photo;
      photo.SetResampler(TResamplerKind::Draft);
      LoadPhotoFromFile(photo, fileName);
      if (photo.Width() < layer->TileWidth() || photo.Height() < layer->TileHeight()) {
        ShowInfo(this, QStringLiteral("안내"),
                 QStringLiteral("이미지의 크기가 최소 요구 크기보다 작습니다."));
      } else {
        layer->SetPhoto(photo);
        FPhotoFile = fileName;
      }
    } catch (...) {
      EndWait();
      throw;
    }
    EndWait();
  });
}

void TKestrin_Index::ImageSelectorMouseEnter() {
  GuardHandler(this, [this] { ImageSelector->setFocus(Qt::MouseFocusReason); });
}

// ---------------------------------------------------------------------------------------
// Edit and order commands

void TKestrin_Index::btnTrimmingClick() {
  GuardHandler(this, [this] {
    TTileLayer* layer = CurrentTileLayer();
    if (!layer || layer->FPhoto().Empty()) return;
    TTrimmingForm form(this);
    // The editor works on a copy: pixels and drawing properties (the draft resampler).
    form.ImgView->Bitmap().Assign(layer->FPhoto());
    form.ImgView->BitmapChanged();
    // The photo's own file, remembered when it was chosen: a later listing of another folder
    // changes the list's selection, but revert must reload this photo.
    form.SetSourceFile(FPhotoFile);
    form.SetCropFrame(layer->FCropRect());
    form.SetMinCropSize(static_cast<float>(layer->TileWidth() / 2),
                        static_cast<float>(layer->TileHeight() / 2));
    if (form.exec() == mrOk) {
      layer->SetPhoto(form.FResult);
      layer->SetCropRect(form.GetCropRect());
    }
  });
}

void TKestrin_Index::btnOrderClick() {
  GuardHandler(this, [this] {
    TTileLayer* layer = CurrentTileLayer();
    if (!layer || layer->FPhoto().Empty()) {
      ShowInfo(this, QString(), QStringLiteral("주문전에 편집을 완료하세요"));
      return;
    }
    // The order image: the view rendered at scale 1, the full-resolution sheet. Declared
    // before the dialog, which borrows it, so that the dialog goes first.
    TBitmap32 order(ImgView->Bitmap().Width(), ImgView->Bitmap().Height());
    ImgView->PaintTo(order, order.BoundsRect());
    TUploadForm form(this);
    form.FUserID = FUserID;
    form.FSheet = &order;
    form.FCartFormat = QStringLiteral("7");
    form.FItemName = QStringLiteral("Index");
    form.FHttpApp = QStringLiteral("3");
    if (form.exec() == mrOk) {
      // The order is on its way: empty the sheet's photo for the next one. The type and the
      // crop rectangle stay.
      layer->Changing();
      layer->FPhoto().SetSize(0, 0);
      layer->Changed();
    }
  });
}

}  // namespace Kestrin
