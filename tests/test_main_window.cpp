// The main window with real widgets on the offscreen platform: start-up, photo type selection,
// the photo browser (listing and choosing) and the wait indicator. The web banner is replaced
// by a placeholder (KESTRIN_NO_BANNER=1); message boxes are answered through the hook.
#include <gtest/gtest.h>

#include <QFileSystemModel>

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEngineView>
#include <deque>

#include <sys/stat.h>

#include "FtpTestServer.h"
#include "TestSupport.h"
#include "app/uImageSelector.h"
#include "app/uMain.h"
#include "app/uThumbDecoder.h"
#include "editor/uTrimmingForm.h"
#include "gfx/uPhotoLoader.h"
#include "order/LoginFrm.h"
#include "order/uUploadForm.h"
#include "ui/uMessages.h"

using namespace Kestrin;
using KestrinTest::MakePatternImage;
using KestrinTest::WriteJpeg;

namespace {

// Records every message box and answers from a queue (Ok / Yes when empty).
struct TBoxes {
  std::vector<TMessageBoxRequest> Seen;
  std::deque<QMessageBox::StandardButton> Answers;

  TBoxes() {
    SetMessageHook([this](const TMessageBoxRequest& r) {
      Seen.push_back(r);
      if (!Answers.empty()) {
        const auto a = Answers.front();
        Answers.pop_front();
        return a;
      }
      return r.Buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
    });
  }
  ~TBoxes() { SetMessageHook(nullptr); }
};

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

// Counts the grey cells of a rendered sheet: runs of cell grey along the row through the
// first row of cells and along the column through the first column.
int CountGreyCells(const QImage& sheet, int probeX, int probeY) {
  auto runs = [](auto pixelAt, int n) {
    int count = 0;
    bool inside = false;
    for (int i = 0; i < n; ++i) {
      const bool grey = pixelAt(i) == kCellColor;
      if (grey && !inside) ++count;
      inside = grey;
    }
    return count;
  };
  const int cols = runs([&](int x) { return sheet.pixel(x, probeY); }, sheet.width());
  const int rows = runs([&](int y) { return sheet.pixel(probeX, y); }, sheet.height());
  return cols * rows;
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("KESTRIN_NO_BANNER", "1");
    ASSERT_TRUE(FHome.isValid());
    // The tree starts at the desktop, else the home folder: keep that a small empty folder.
    qputenv("HOME", FHome.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", FHome.filePath("config").toUtf8());
    ASSERT_TRUE(FPhotos.isValid());
  }

  void TearDown() override {
    W.reset();
    for (const char* name : {"KESTRIN_FTP_SERVER", "KESTRIN_WEB_SERVER", "KESTRIN_BROWSER"})
      qunsetenv(name);
  }

  // A window that was started with the user ID on the command line and activated.
  void StartWindow(const QStringList& commandLine = {QStringLiteral("KestrinIndex"),
                                                     QStringLiteral("X")}) {
    W = std::make_unique<TKestrin_Index>();
    W->FCommandLine = commandLine;
    W->show();
    W->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(W.get()));
  }

  void WaitForUserId() {
    ASSERT_TRUE(QTest::qWaitFor([&] { return !W->FUserID.isEmpty() || W->FTerminateRequested; }));
  }

  QString Photo(const QString& name, int w, int h, unsigned seed = 1) {
    const QString path = FPhotos.filePath(name);
    WriteJpeg(MakePatternImage(w, h, seed), path);
    return path;
  }

  // Chooses entry idx the way a user does: a left click on its cell.
  void ClickEntry(int idx) {
    TImageSelector* list = W->ImageSelector;
    const QModelIndex mi = list->Model()->index(idx);
    list->scrollTo(mi);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(mi).center());
  }

  int EntryOf(const QString& caption) const {
    for (int i = 0; i < W->ImageSelector->Model()->Count(); ++i)
      if (W->ImageSelector->Model()->Entry(i).Caption == caption) return i;
    return -1;
  }

  QImage RenderSheet() {
    TBitmap32 out(W->ImgView->Bitmap().Width(), W->ImgView->Bitmap().Height());
    W->ImgView->PaintTo(out, out.BoundsRect());
    return out.Image().copy();
  }

  QTemporaryDir FHome;
  QTemporaryDir FPhotos;
  std::unique_ptr<TKestrin_Index> W;
};

TEST_F(MainWindowTest, StartsWithTheCommandLineUserIdAndAnEmptySheet) {
  TBoxes boxes;
  StartWindow();
  WaitForUserId();
  EXPECT_EQ(W->FUserID, "X");
  EXPECT_FALSE(W->FTerminateRequested);
  EXPECT_TRUE(boxes.Seen.empty());
  EXPECT_EQ(QApplication::focusWidget(), W->sShellTreeView);
  // The start folder (the home folder here) is selected and, once the tree has read the
  // folders above it, scrolled into view.
  auto* folders = qobject_cast<QFileSystemModel*>(W->sShellTreeView->model());
  ASSERT_NE(folders, nullptr);
  const QModelIndex start = W->sShellTreeView->currentIndex();
  EXPECT_EQ(folders->filePath(start), QDir(FHome.path()).canonicalPath());
  EXPECT_TRUE(QTest::qWaitFor([&] {
    return W->sShellTreeView->viewport()->rect().contains(
        W->sShellTreeView->visualRect(start).center());
  }));
  // No dialog came up in place of the command line.
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

  EXPECT_EQ(W->FCurrentType, -1);
  EXPECT_EQ(W->CurrentTileLayer(), nullptr);
  for (QToolButton* b : W->btnTypes) EXPECT_FALSE(b->isChecked()) << b->objectName().toStdString();
  EXPECT_EQ(W->lblTitle->text(), "메뉴에서 증명사진 종류를 선택해주세요");
  EXPECT_EQ(W->windowTitle(), "Kestrin 증명사진 1.2.1");
  EXPECT_EQ(W->size(), QSize(900, 700));
  EXPECT_EQ(W->minimumSize(), QSize(800, 600));
  EXPECT_EQ(W->ImgView->geometry(), QRect(9, 48, 694, 449));
  EXPECT_EQ(W->WebBanner->height(), 97);
  EXPECT_EQ(W->ToolBar->height(), 62);
  EXPECT_EQ(W->sShellTreeView->height(), 153);
  EXPECT_FALSE(W->WaitPanel->isVisible());
  // The empty view shows only its grey background.
  W->ImgView->RenderBuffer();
  const QImage view = W->ImgView->Buffer().Image();
  EXPECT_EQ(view.pixel(view.width() / 2, view.height() / 2), 0xFF808080u);

  // Tool bar order: the type buttons first, by tag, with their captions.
  const QStringList captions = {"증 명",  "반명함", "여 권", "미국여권",
                                "공무원", "명 함",  "지갑형"};
  for (int i = 0; i < kPhotoTypeCount; ++i) {
    EXPECT_EQ(W->btnTypes[i]->text(), captions[i]);
    EXPECT_EQ(W->btnTypes[i]->property("Tag").toInt(), i);
    EXPECT_EQ(W->btnTypes[i]->size(), QSize(65, 52));
  }
}

TEST_F(MainWindowTest, LoginDialogSettlesTheUserIdWithoutACommandLineArgument) {
  // An empty first argument counts as none. Cancel ends the program; the guest button gives
  // "guest". Either way the dialog is shown exactly once.
  struct TCase {
    const char* Button;  // nullptr: close with Esc
    QString Expected;
  };
  for (const TCase& c : {TCase{nullptr, QString()}, TCase{"btnGuest", QStringLiteral("guest")}}) {
    SCOPED_TRACE(c.Button ? c.Button : "Esc");
    int dialogs = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* login = qobject_cast<TfrmLogin*>(QApplication::activeModalWidget());
      if (!login) return;
      ++dialogs;
      if (c.Button)
        login->findChild<QPushButton*>(c.Button)->click();
      else
        QTest::keyClick(login, Qt::Key_Escape);
    });
    poll.start(20);
    StartWindow({QStringLiteral("KestrinIndex"), QString()});
    WaitForUserId();
    QTest::qWait(50);
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(W->FUserID, c.Expected);
    EXPECT_EQ(W->FTerminateRequested, c.Expected.isEmpty());
    W.reset();
  }
}

TEST_F(MainWindowTest, TypeSelectionAsksBeforeDiscardingAPhoto) {
  TBoxes boxes;
  StartWindow();
  WaitForUserId();
  const QString photo = Photo("p.jpg", 800, 1000);
  W->SelectFolder(FPhotos.path());

  // Type 2 on an empty sheet: no question; nine grey 413 x 531 cells.
  QTest::mouseClick(W->btnTypes[2], Qt::LeftButton);
  EXPECT_TRUE(boxes.Seen.empty());
  EXPECT_EQ(W->FCurrentType, 2);
  EXPECT_EQ(W->lblTitle->text(), "여 권 ( 3.5cm x 4.5cm )");
  ASSERT_NE(W->CurrentTileLayer(), nullptr);
  EXPECT_EQ(W->CurrentTileLayer()->TileWidth(), 413);
  EXPECT_EQ(W->CurrentTileLayer()->TileHeight(), 531);
  QImage sheet = RenderSheet();
  EXPECT_EQ(sheet.size(), QSize(1500, 2100));
  EXPECT_EQ(CountGreyCells(sheet, 93 + 200, 216 + 200), 9);

  // Type 0 with a photo.
  QTest::mouseClick(W->btnTypes[0], Qt::LeftButton);
  EXPECT_TRUE(boxes.Seen.empty());
  ClickEntry(0);  // the only entry is selected already: a click raises nothing
  EXPECT_TRUE(W->CurrentTileLayer()->FPhoto().Empty());
  QTest::keyClick(W->ImageSelector, Qt::Key_Home);  // nothing to move to either
  W->ImageSelectorImageSelect(0);
  ASSERT_EQ(W->CurrentTileLayer()->FPhoto().Width(), 800);
  TTileLayer* const layer = W->CurrentTileLayer();

  // Type 1 clicked, answer No: type 0's button is pressed again, the sheet is untouched.
  boxes.Answers = {QMessageBox::No};
  QTest::mouseClick(W->btnTypes[1], Qt::LeftButton);
  ASSERT_EQ(boxes.Seen.size(), 1u);
  const TMessageBoxRequest& q = boxes.Seen[0];
  EXPECT_EQ(q.Caption, "Warning");
  EXPECT_EQ(q.Text, "작성중인 증명사진이 취소됩니다.\r\n취소하시겠습니까?");
  EXPECT_EQ(q.Icon, TMsgIcon::Warning);
  EXPECT_EQ(q.Buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(q.DefaultButton, QMessageBox::Yes);
  EXPECT_TRUE(W->btnTypes[0]->isChecked());
  EXPECT_FALSE(W->btnTypes[1]->isChecked());
  EXPECT_EQ(W->FCurrentType, 0);
  EXPECT_EQ(W->CurrentTileLayer(), layer);
  EXPECT_EQ(W->CurrentTileLayer()->FPhoto().Width(), 800);
  EXPECT_EQ(W->FPhotoFile, photo);
  EXPECT_EQ(W->lblTitle->text(), "증 명 ( 2.5cm x 3cm )");

  // The selected type's own button while a photo is on it: asked, Yes empties the same type.
  QTest::mouseClick(W->btnTypes[0], Qt::LeftButton);
  EXPECT_EQ(boxes.Seen.size(), 2u);
  EXPECT_TRUE(W->btnTypes[0]->isChecked());
  EXPECT_EQ(W->FCurrentType, 0);
  EXPECT_TRUE(W->CurrentTileLayer()->FPhoto().Empty());
  EXPECT_EQ(CountGreyCells(RenderSheet(), 103 + 100, 89 + 100), 20);

  // Type 1 with a photo, answer Yes: twelve grey cells, the new title, the photo gone.
  W->ImageSelectorImageSelect(0);
  ASSERT_FALSE(W->CurrentTileLayer()->FPhoto().Empty());
  QTest::mouseClick(W->btnTypes[1], Qt::LeftButton);
  EXPECT_EQ(boxes.Seen.size(), 3u);
  EXPECT_EQ(W->FCurrentType, 1);
  EXPECT_TRUE(W->btnTypes[1]->isChecked());
  EXPECT_FALSE(W->btnTypes[0]->isChecked());
  EXPECT_EQ(W->lblTitle->text(), "반명함 ( 3cm x 4cm )");
  EXPECT_EQ(W->ImgView->Layers()->Count(), 1);
  EXPECT_TRUE(W->CurrentTileLayer()->FPhoto().Empty());
  EXPECT_TRUE(W->FPhotoFile.isEmpty());
  EXPECT_EQ(CountGreyCells(RenderSheet(), 181 + 100, 49 + 100), 12);
}

TEST_F(MainWindowTest, ListingShowsTheFoldersJpegFilesOnly) {
  TBoxes boxes;
  StartWindow();
  WaitForUserId();
  Photo("a.jpg", 300, 200, 1);
  Photo("B.JPG", 120, 240, 2);
  Photo(".e.jpg", 300, 200, 3);                      // hidden
  Photo("c.jpeg", 300, 200, 4);                      // another suffix
  ASSERT_TRUE(QDir(FPhotos.path()).mkdir("d.jpg"));  // a folder
  Photo("d.jpg/inner.jpg", 300, 200, 5);
  WriteBytes(FPhotos.filePath("empty.jpg"), {});
  WriteBytes(FPhotos.filePath("text.jpg"), "not a picture at all");
  const QByteArray header = [&] {
    QFile f(Photo("whole.jpeg", 640, 480, 6));
    f.open(QIODevice::ReadOnly);
    return f.read(200);
  }();
  WriteBytes(FPhotos.filePath("cut.jpg"), header);
  {
    QFile whole(Photo("half.jpeg", 640, 480, 7));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    WriteBytes(FPhotos.filePath("half.jpg"), whole.read(whole.size() / 2));
  }

  // Links to a pipe, a device and nothing: no photos, and reading the pipe would never end.
  ASSERT_EQ(::mkfifo(QFile::encodeName(FHome.filePath("pipe")).constData(), 0600), 0);
  ASSERT_TRUE(QFile::link(FHome.filePath("pipe"), FPhotos.filePath("pipe.jpg")));
  ASSERT_TRUE(QFile::link("/dev/zero", FPhotos.filePath("zero.jpg")));
  ASSERT_TRUE(QFile::link(FHome.filePath("gone"), FPhotos.filePath("dangling.jpg")));
  ASSERT_EQ(JpegFilesOf(FPhotos.path()).size(), 6);

  QSignalSpy selects(W->ImageSelector, &TImageSelector::ImageSelect);
  W->SelectFolder(FPhotos.path());
  TThumbnailModel* m = W->ImageSelector->Model();
  QStringList captions;
  for (int i = 0; i < m->Count(); ++i) captions << m->Entry(i).Caption;
  QStringList sorted = captions;
  sorted.sort();
  EXPECT_EQ(sorted,
            QStringList({"B.JPG", "a.jpg", "cut.jpg", "empty.jpg", "half.jpg", "text.jpg"}));

  // Listed in the file system's order, each thumbnail as a one-by-one decode makes it, the
  // last one selected, and no selection event for any of it.
  const QFileInfoList order = JpegFilesOf(FPhotos.path());
  ASSERT_EQ(order.size(), m->Count());
  for (int i = 0; i < m->Count(); ++i) {
    SCOPED_TRACE(captions[i].toStdString());
    EXPECT_EQ(m->Entry(i).Caption, order[i].fileName());
    EXPECT_EQ(m->Entry(i).FileName, FPhotos.filePath(captions[i]));
    const QImage expected = DecodeThumbnail(order[i].filePath(), kThumbWidth, kThumbHeight).Image;
    EXPECT_EQ(m->Entry(i).Thumb, expected);
  }
  EXPECT_EQ(m->Entry(EntryOf("a.jpg")).Thumb.size(), QSize(130, 87));
  EXPECT_EQ(m->Entry(EntryOf("B.JPG")).Thumb.size(), QSize(65, 130));
  for (const char* broken : {"empty.jpg", "text.jpg", "cut.jpg", "half.jpg"})
    EXPECT_TRUE(m->Entry(EntryOf(broken)).Thumb.isNull()) << broken;
  EXPECT_EQ(W->ImageSelector->SelectedIndex(), m->Count() - 1);
  EXPECT_EQ(selects.count(), 0);
  EXPECT_FALSE(W->WaitPanel->isVisible());

  // A caption wider than the cell keeps its end behind "...", as much of it as fits.
  const QString longName = QStringLiteral("a-very-long-name-straight-from-the-camera-0001.jpg");
  const QFontMetrics fm(TThumbnailDelegate::CaptionFont(W->ImageSelector->font()));
  const QString fitted = TThumbnailDelegate::FittedCaption(longName, fm, 126);
  EXPECT_TRUE(fitted.startsWith("...") && longName.endsWith(fitted.mid(3))) << fitted.toStdString();
  EXPECT_LE(fm.horizontalAdvance(fitted), 126);
  EXPECT_GT(fm.horizontalAdvance("..." + longName.right(fitted.size() - 2)), 126);
  EXPECT_EQ(TThumbnailDelegate::FittedCaption("a.jpg", fm, 126), "a.jpg");

  // The wheel scrolls by one row of cells per notch.
  TImageSelector* list = W->ImageSelector;
  list->scrollToTop();
  const int firstTop = list->visualRect(m->index(0)).top();
  const QPointF at(20, 20);
  QWheelEvent notch(at, list->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(list->viewport(), &notch);
  EXPECT_EQ(list->visualRect(m->index(1)).top(), firstTop);

  // Neither a Ctrl+click on the selected entry nor a click beside the entries drops the
  // selection (a later plain click on that entry would otherwise reload its photo).
  list->scrollToTop();
  list->SetSelectedIndex(0);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                    list->visualRect(m->index(0)).center());
  EXPECT_EQ(list->SelectedIndex(), 0);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(list->viewport()->width() - 3, 3));
  EXPECT_EQ(list->SelectedIndex(), 0);
  EXPECT_EQ(selects.count(), 0);

  // Another folder replaces the list; a folder that is gone lists nothing and breaks nothing.
  W->SelectFolder(FPhotos.filePath("d.jpg"));
  EXPECT_EQ(m->Count(), 1);
  EXPECT_EQ(m->Entry(0).Caption, "inner.jpg");
  W->ImageSelector->ListFolder(FPhotos.filePath("gone"));
  EXPECT_EQ(m->Count(), 0);
  EXPECT_EQ(W->ImageSelector->SelectedIndex(), -1);
  EXPECT_TRUE(boxes.Seen.empty());
}

TEST_F(MainWindowTest, ChoosingAPhotoChecksTypeSizeAndFile) {
  TBoxes boxes;
  StartWindow();
  WaitForUserId();
  const QString ok = Photo("1-ok.jpg", 295, 354, 1);
  Photo("2-narrow.jpg", 294, 2000, 2);
  Photo("3-big.jpg", 900, 1200, 3);
  WriteBytes(FPhotos.filePath("4-broken.jpg"), "not a picture at all");
  {
    QFile whole(Photo("whole.jpeg", 900, 1200, 5));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    WriteBytes(FPhotos.filePath("5-half.jpg"), whole.read(whole.size() / 2));
  }
  W->SelectFolder(FPhotos.path());
  QSignalSpy selects(W->ImageSelector, &TImageSelector::ImageSelect);

  // Before a type: the notice, nothing loaded, the thumbnail stays selected.
  ClickEntry(EntryOf("1-ok.jpg"));
  ASSERT_EQ(selects.count(), 1);
  ASSERT_EQ(boxes.Seen.size(), 1u);
  EXPECT_EQ(boxes.Seen[0].Caption, "안내");
  EXPECT_EQ(boxes.Seen[0].Text, "증명사진 종류를 먼저 선택해 주세요");
  EXPECT_EQ(boxes.Seen[0].Icon, TMsgIcon::None);
  EXPECT_EQ(W->CurrentTileLayer(), nullptr);
  EXPECT_EQ(W->ImageSelector->SelectedIndex(), EntryOf("1-ok.jpg"));
  EXPECT_FALSE(W->WaitPanel->isVisible());

  QTest::mouseClick(W->btnTypes[0], Qt::LeftButton);
  TTileLayer* layer = W->CurrentTileLayer();
  ASSERT_EQ(layer->TileWidth(), 295);
  ASSERT_EQ(layer->TileHeight(), 354);

  struct TCase {
    const char* File;
    QSize Photo;          // the sheet's photo afterwards
    const char* Caption;  // the message shown, or nullptr
  };
  const TCase cases[] = {
      {"1-ok.jpg", QSize(295, 354), nullptr},     // exactly one tile: accepted
      {"2-narrow.jpg", QSize(295, 354), "안내"},  // one pixel too narrow: refused
      {"3-big.jpg", QSize(900, 1200), nullptr},
      {"4-broken.jpg", QSize(900, 1200), "Kestrin 증명사진"},  // standard error message
      {"5-half.jpg", QSize(900, 1200), "Kestrin 증명사진"},    // cut short: refused, not grey
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.File);
    boxes.Seen.clear();
    const int idx = EntryOf(c.File);
    if (W->ImageSelector->SelectedIndex() == idx) W->ImageSelector->SetSelectedIndex(-1);
    ClickEntry(idx);
    EXPECT_EQ(W->ImageSelector->SelectedIndex(), idx);
    EXPECT_EQ(QSize(layer->FPhoto().Width(), layer->FPhoto().Height()), c.Photo);
    EXPECT_EQ(W->CurrentTileLayer(), layer);
    if (c.Caption) {
      ASSERT_EQ(boxes.Seen.size(), 1u);
      EXPECT_EQ(boxes.Seen[0].Caption, c.Caption);
    } else {
      EXPECT_TRUE(boxes.Seen.empty());
    }
    EXPECT_FALSE(W->WaitPanel->isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }
  EXPECT_EQ(boxes.Seen[0].Icon, TMsgIcon::Error);
  EXPECT_TRUE(boxes.Seen[0].Text.contains("5-half.jpg"));
  EXPECT_TRUE(boxes.Seen[0].Text.endsWith('.'));
  // The narrow photo's notice, and the accepted photos travel with the draft resampler.
  EXPECT_EQ(layer->FPhoto().Resampler(), TResamplerKind::Draft);
  EXPECT_EQ(W->FPhotoFile, FPhotos.filePath("3-big.jpg"));

  // Keyboard moves choose too; after a new listing the sheet keeps its photo.
  boxes.Seen.clear();
  const int okIdx = EntryOf("1-ok.jpg");
  const bool fromBelow = okIdx + 1 < W->ImageSelector->Model()->Count();
  W->ImageSelector->SetSelectedIndex(fromBelow ? okIdx + 1 : okIdx - 1);
  QTest::keyClick(W->ImageSelector, fromBelow ? Qt::Key_Up : Qt::Key_Down);
  EXPECT_EQ(W->ImageSelector->SelectedIndex(), okIdx);
  EXPECT_EQ(layer->FPhoto().Width(), 295);
  EXPECT_EQ(W->FPhotoFile, ok);
  W->SelectFolder(FHome.path());
  EXPECT_EQ(W->ImageSelector->Model()->Count(), 0);
  EXPECT_EQ(layer->FPhoto().Width(), 295);
  EXPECT_EQ(W->FPhotoFile, ok);
  EXPECT_TRUE(boxes.Seen.empty());

  // The pointer entering the list gives it the keyboard.
  W->sShellTreeView->setFocus();
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), W->ImageSelector->mapToGlobal(QPointF(5, 5)));
  QApplication::sendEvent(W->ImageSelector, &enter);
  EXPECT_EQ(QApplication::focusWidget(), W->ImageSelector);
}

TEST_F(MainWindowTest, WaitIndicatorHasNoNestingAndRunsNoQueuedInput) {
  StartWindow();
  WaitForUserId();
  // The panel is painted before BeginWait returns, that is before the work starts.
  struct TPaintCounter : QObject {
    int Paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) ++Paints;
      return false;
    }
  } counter;
  W->WaitPanel->installEventFilter(&counter);
  W->BeginWait();
  EXPECT_GE(counter.Paints, 1);
  W->BeginWait();
  EXPECT_TRUE(W->WaitPanel->isVisible());
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  W->EndWait();
  EXPECT_FALSE(W->WaitPanel->isVisible());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // A click waiting in the queue when an operation starts runs after it, not inside it.
  QPushButton button(QStringLiteral("other"), W.get());
  button.setGeometry(600, 10, 60, 20);
  button.show();
  int clicks = 0;
  QObject::connect(&button, &QPushButton::clicked, [&] { ++clicks; });
  const QPointF at(10, 10);
  QCoreApplication::postEvent(
      &button, new QMouseEvent(QEvent::MouseButtonPress, at, button.mapToGlobal(at), Qt::LeftButton,
                               Qt::LeftButton, Qt::NoModifier));
  QCoreApplication::postEvent(
      &button, new QMouseEvent(QEvent::MouseButtonRelease, at, button.mapToGlobal(at),
                               Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
  W->BeginWait();
  EXPECT_EQ(clicks, 0);
  W->EndWait();
  QCoreApplication::processEvents();
  EXPECT_EQ(clicks, 1);
}

TEST_F(MainWindowTest, ResizingRefitsTheSheetAndLeavesTheWaitPanel) {
  StartWindow();
  WaitForUserId();
  QTest::mouseClick(W->btnTypes[0], Qt::LeftButton);
  const QSize before = W->ImgView->size();
  const float scaleBefore = W->ImgView->LayerScale();
  EXPECT_FLOAT_EQ(scaleBefore, std::min(694.f / 1500, 449.f / 2100));

  W->resize(1200, 1000);
  EXPECT_TRUE(QTest::qWaitFor([&] { return W->ImgView->size() != before; }));
  const QSize after = W->ImgView->size();
  EXPECT_EQ(after, before + QSize(300, 300));
  EXPECT_FLOAT_EQ(W->ImgView->LayerScale(),
                  std::min(float(after.width()) / 1500, float(after.height()) / 2100));
  // Centred horizontally.
  const TRect r = W->ImgView->GetBitmapRect();
  EXPECT_NEAR(r.Left, after.width() - r.Right, 1);
  W->BeginWait();
  EXPECT_EQ(W->WaitPanel->geometry(), QRect(328, 288, 217, 57));
  W->EndWait();
}

// The banner with the real browser engine against the demo shop's web server: the first
// activation navigates it, and a completed load hides the page's scroll bars.
TEST_F(MainWindowTest, BannerLoadsTheShopPageAndHidesItsScrollBars) {
  KestrinTest::TServerProcess web;
  ASSERT_TRUE(web.Start(QStringLiteral(KESTRIN_SOURCE_DIR "/tools/demo-shop/web_server.py"),
                        {"--port", "0", "--ftp-root", FHome.filePath("ftp")}));
  qputenv("KESTRIN_WEB_SERVER", web.HostPort().toUtf8());
  qunsetenv("KESTRIN_NO_BANNER");
  StartWindow();
  qputenv("KESTRIN_NO_BANNER", "1");
  WaitForUserId();
  ASSERT_NE(W->FBannerView, nullptr);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return W->FBannerView->url().path() == "/clients/index_top.html"; }, 20000));
  EXPECT_EQ(W->FBannerView->url().toString(),
            "http://" + web.HostPort() + "/clients/index_top.html");

  auto overflow = [&] {
    QString result = "<none>";
    W->FBannerView->page()->runJavaScript(
        "document.body.style.overflowX + '/' + document.body.style.overflowY",
        [&](const QVariant& v) { result = v.toString(); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return result != "<none>"; }, 10000));
    return result;
  };
  EXPECT_TRUE(QTest::qWaitFor([&] { return overflow() == "hidden/hidden"; }, 20000));

  // An unfinished load changes nothing; a finished one sets both directions again.
  W->FBannerView->page()->runJavaScript(
      "document.body.style.overflowX = 'scroll'; document.body.style.overflowY = 'auto';");
  W->WebBannerProgressChange(40, 100);
  EXPECT_EQ(overflow(), "scroll/auto");
  W->WebBannerProgressChange(100, 100);
  EXPECT_EQ(overflow(), "hidden/hidden");
}

// Runs action on the first modal dialog of type T that comes up (polling from the event loop
// that the dialog's exec() runs); counts the dialogs seen.
template <typename T>
struct TOnDialog {
  int Seen = 0;
  QTimer Poll;
  explicit TOnDialog(std::function<void(T*)> action) {
    QObject::connect(&Poll, &QTimer::timeout, [this, action] {
      auto* dlg = qobject_cast<T*>(QApplication::activeModalWidget());
      if (!dlg || dlg->property("kestrinTestSeen").toBool()) return;
      dlg->setProperty("kestrinTestSeen", true);
      ++Seen;
      action(dlg);
    });
    Poll.start(10);
  }
};

TEST_F(MainWindowTest, EditCommandHandsTheSheetsPhotoToTheEditor) {
  TBoxes boxes;
  StartWindow();
  WaitForUserId();
  {  // No type, then a type without a photo: nothing opens.
    TOnDialog<TTrimmingForm> editor([](TTrimmingForm* f) { f->reject(); });
    QTest::mouseClick(W->btnTrimming, Qt::LeftButton);
    QTest::mouseClick(W->btnTypes[2], Qt::LeftButton);
    QTest::mouseClick(W->btnTrimming, Qt::LeftButton);
    QTest::qWait(30);
    EXPECT_EQ(editor.Seen, 0);
    EXPECT_TRUE(boxes.Seen.empty());
  }
  const QString file = Photo("p.jpg", 1000, 1400);
  W->SelectFolder(FPhotos.path());
  W->ImageSelectorImageSelect(0);
  TTileLayer* layer = W->CurrentTileLayer();
  ASSERT_FALSE(layer->FPhoto().Empty());
  // Listing another folder moves the list's selection away; the editor still gets the photo's
  // own file for its revert.
  W->SelectFolder(FHome.path());
  const TBitmap32 before(layer->FPhoto());
  const TRect cropBefore = layer->FCropRect();

  // Cancel after a turn: the sheet is exactly as before.
  {
    TOnDialog<TTrimmingForm> editor([&](TTrimmingForm* f) {
      EXPECT_EQ(f->FSourceFile, file);
      EXPECT_EQ(f->ImgView->Bitmap().Image(), before.Image());
      EXPECT_EQ(f->ImgView->Bitmap().Resampler(), TResamplerKind::Draft);
      EXPECT_EQ(f->GetCropRect(), cropBefore);
      QTest::mouseClick(f->btnRotateCW, Qt::LeftButton);
      QTest::mouseClick(f->btnCancel, Qt::LeftButton);
    });
    QTest::mouseClick(W->btnTrimming, Qt::LeftButton);
    EXPECT_EQ(editor.Seen, 1);
  }
  EXPECT_EQ(layer->FPhoto().Image(), before.Image());
  EXPECT_EQ(layer->FCropRect(), cropBefore);

  // OK after a turn: the turned photo, and the editor's frame rather than the automatic crop.
  TRect frame;
  {
    TOnDialog<TTrimmingForm> editor([&](TTrimmingForm* f) {
      QTest::mouseClick(f->btnRotateCW, Qt::LeftButton);
      f->SetCropFrame({100, 50, 700, 700});  // not what an automatic crop would give
      frame = f->GetCropRect();
      QTest::mouseClick(f->BtnOK, Qt::LeftButton);
    });
    QTest::mouseClick(W->btnTrimming, Qt::LeftButton);
    EXPECT_EQ(editor.Seen, 1);
  }
  EXPECT_EQ(W->CurrentTileLayer(), layer);
  EXPECT_EQ(QSize(layer->FPhoto().Width(), layer->FPhoto().Height()), QSize(1400, 1000));
  EXPECT_EQ(layer->FCropRect(), frame);
  EXPECT_EQ(W->FPhotoFile, file);
  EXPECT_TRUE(boxes.Seen.empty());
}

TEST_F(MainWindowTest, OrderCommandSendsTheFullSheetAndEmptiesItAfterwards) {
  TBoxes boxes;
  KestrinTest::TFtpTestServer ftp;
  KestrinTest::TServerProcess web;
  ASSERT_TRUE(ftp.Start());
  ASSERT_TRUE(web.Start(KestrinTest::SupportFile("stamp_server.py")));
  qputenv("KESTRIN_FTP_SERVER", ftp.HostPort().toUtf8());
  qputenv("KESTRIN_WEB_SERVER", web.HostPort().toUtf8());
  qputenv("KESTRIN_BROWSER", "/bin/true");
  StartWindow();
  WaitForUserId();

  // Without a type, then without a photo: the reminder only.
  for (int i = 0; i < 2; ++i) {
    if (i == 1) QTest::mouseClick(W->btnTypes[0], Qt::LeftButton);
    boxes.Seen.clear();
    QTest::mouseClick(W->btnOrder, Qt::LeftButton);
    ASSERT_EQ(boxes.Seen.size(), 1u);
    EXPECT_EQ(boxes.Seen[0].Caption, "");
    EXPECT_EQ(boxes.Seen[0].Text, "주문전에 편집을 완료하세요");
    EXPECT_EQ(boxes.Seen[0].Icon, TMsgIcon::None);
  }
  boxes.Seen.clear();
  Photo("p.jpg", 800, 1000);
  W->SelectFolder(FPhotos.path());
  W->ImageSelectorImageSelect(0);
  TTileLayer* layer = W->CurrentTileLayer();
  const TRect crop = layer->FCropRect();
  const QImage expected = RenderSheet();

  // Closed before starting: the sheet keeps its photo.
  {
    TOnDialog<TUploadForm> upload([&](TUploadForm* f) {
      EXPECT_EQ(f->FUserID, "X");
      ASSERT_NE(f->FSheet, nullptr);
      EXPECT_EQ(f->FSheet->Image(), expected);
      EXPECT_EQ(f->FCartFormat, "7");
      EXPECT_EQ(f->FItemName, "Index");
      EXPECT_EQ(f->FHttpApp, "3");
      f->close();
    });
    QTest::mouseClick(W->btnOrder, Qt::LeftButton);
    EXPECT_EQ(upload.Seen, 1);
  }
  EXPECT_EQ(layer->FPhoto().Width(), 800);

  // A real order: the sheet arrives on the server at full size; then the cells are grey.
  {
    TOnDialog<TUploadForm> upload([](TUploadForm* f) {
      f->txtQty->SetText(QStringLiteral("1"));
      QTest::mouseClick(f->btnStart, Qt::LeftButton);
    });
    QTest::mouseClick(W->btnOrder, Qt::LeftButton);
    EXPECT_EQ(upload.Seen, 1);
  }
  QStringList sheets;
  QDirIterator it(ftp.Root(), {"*.jpg"}, QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) sheets << it.next();
  QImage sent;
  for (const QString& f : sheets)
    if (QImage img(f); img.width() == 1500) sent = img;
  ASSERT_EQ(sent.size(), QSize(1500, 2100)) << sheets.join(' ').toStdString();
  EXPECT_TRUE(boxes.Seen.empty()) << boxes.Seen[0].Text.toStdString();
  EXPECT_TRUE(layer->FPhoto().Empty());
  EXPECT_EQ(W->CurrentTileLayer(), layer);
  EXPECT_EQ(layer->FCropRect(), crop);
  EXPECT_EQ(W->FCurrentType, 0);
  EXPECT_TRUE(W->btnTypes[0]->isChecked());
  EXPECT_EQ(W->lblTitle->text(), "증 명 ( 2.5cm x 3cm )");
  EXPECT_EQ(CountGreyCells(RenderSheet(), 103 + 100, 89 + 100), 20);
  // The next photo can be chosen at once.
  W->ImageSelectorImageSelect(0);
  EXPECT_EQ(layer->FPhoto().Width(), 800);
}

// The browser's own JPEG thumbnail decoder, beside Qt's full decode of the same files.
TEST(ThumbDecoderTest, DecodesReducedAndNamesWhatIsWrong) {
  QTemporaryDir dir;
  auto path = [&](const char* name) { return dir.filePath(name); };
  const QImage colour = MakePatternImage(1200, 800, 11);
  WriteJpeg(colour, path("colour.jpg"));
  WriteJpeg(colour.convertToFormat(QImage::Format_Grayscale8), path("grey.jpg"));
  ASSERT_TRUE(MakePatternImage(40, 90, 12).save(path("png-inside.jpg"), "PNG"));
  QByteArray jpeg;
  {
    QFile f(path("colour.jpg"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    jpeg = f.readAll();
  }
  WriteBytes(path("cut.jpg"), jpeg.left(jpeg.size() * 2 / 3));
  WriteBytes(path("empty.jpg"), {});
  // The frame header claims 60000 x 60000 pixels.
  QByteArray huge = jpeg;
  const qsizetype sof = huge.indexOf(QByteArray("\xFF\xC0", 2));
  ASSERT_GT(sof, 0);
  huge[sof + 5] = char(0xEA), huge[sof + 6] = char(0x60), huge[sof + 7] = char(0xEA),
             huge[sof + 8] = char(0x60);
  WriteBytes(path("huge.jpg"), huge);
  ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe.jpg")).constData(), 0600), 0);

  struct TCase {
    const char* File;
    TThumbStatus Status;
    QSize Size;
  };
  const TCase cases[] = {
      {"colour.jpg", TThumbStatus::Ok, QSize(130, 87)},
      {"grey.jpg", TThumbStatus::Ok, QSize(130, 87)},
      {"png-inside.jpg", TThumbStatus::Ok, QSize(58, 130)},  // enlarged, through Qt
      {"cut.jpg", TThumbStatus::Truncated, QSize(0, 0)},
      {"empty.jpg", TThumbStatus::Empty, QSize(0, 0)},
      {"huge.jpg", TThumbStatus::TooLarge, QSize(0, 0)},
      {"missing.jpg", TThumbStatus::Unreadable, QSize(0, 0)},
      {"pipe.jpg", TThumbStatus::Unreadable, QSize(0, 0)},  // not opened: it would block
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.File);
    const TThumbResult r = DecodeThumbnail(path(c.File), 130, 130);
    EXPECT_EQ(r.Status, c.Status);
    EXPECT_EQ(r.Image.size(), c.Size);
    EXPECT_EQ(r.Problem.isEmpty(), c.Status == TThumbStatus::Ok);
    if (c.Status != TThumbStatus::Ok) {
      EXPECT_TRUE(r.Problem.contains(c.File));
    }
    if (c.Status != TThumbStatus::Ok || QByteArray(c.File) == "png-inside.jpg") continue;
    // Same picture as Qt's full decode reduced smoothly: colours in the right channels.
    const QImage reference = QImage(path(c.File))
                                 .convertToFormat(QImage::Format_RGB32)
                                 .scaled(c.Size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    double diff = 0;
    for (int y = 0; y < c.Size.height(); ++y)
      for (int x = 0; x < c.Size.width(); ++x) {
        const QRgb a = r.Image.pixel(x, y), b = reference.pixel(x, y);
        diff += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                std::abs(qBlue(a) - qBlue(b));
      }
    EXPECT_LT(diff / (3.0 * c.Size.width() * c.Size.height()), 6.0);
  }
}

}  // namespace
