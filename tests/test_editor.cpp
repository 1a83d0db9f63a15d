// The photo editor dialog: brightness against a plain step-by-step implementation, the
// rotations and mirrors with the frame, the rotation guard, the checkerboard, OK / Cancel /
// hide, and revert from the photo's file.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cmath>

#include "TestSupport.h"
#include "editor/uTrimmingForm.h"
#include "gfx/uPhotoLoader.h"
#include "ui/uForms.h"
#include "ui/uMessages.h"

using namespace Kestrin;

namespace {

// Every step exactly as described: float variables, each expression evaluated in extended
// precision and rounded to float when stored, the final x * 255 floored unrounded.
TColor32 ReferenceLightness(TColor32 c, int step) {
  using LD = long double;
  float r = static_cast<float>(static_cast<LD>((c >> 16) & 0xFF) / 255);
  float g = static_cast<float>(static_cast<LD>((c >> 8) & 0xFF) / 255);
  float b = static_cast<float>(static_cast<LD>(c & 0xFF) / 255);
  const float mx = std::max({r, g, b}), mn = std::min({r, g, b});
  const float d = static_cast<float>(static_cast<LD>(mx) - mn);
  float V = mx;
  const float S = mx > 0 ? static_cast<float>(static_cast<LD>(d) / mx) : 0.0f;
  float H = 0;
  if (d != 0) {
    if (mx == r && mx != g)
      H = static_cast<float>((static_cast<LD>(g) - b) / d);
    else if (mx == g && mx != b)
      H = static_cast<float>(2 + (static_cast<LD>(b) - r) / d);
    else if (mx == b && mx != r)
      H = static_cast<float>(4 + (static_cast<LD>(r) - g) / d);
    H = static_cast<float>(static_cast<LD>(H) * 60);
  }
  V = static_cast<float>(V + static_cast<LD>(step) * V / 10);
  if (V > 1)
    V = 1;
  else if (!(V >= 0))
    V = 0;
  const auto ch = [](float x) {
    const int v = static_cast<int>(std::floor(static_cast<LD>(x) * 255));
    return static_cast<TColor32>(std::clamp(v, 0, 255));
  };
  float ro, go, bo;
  if (S == 0) {
    ro = go = bo = V;
  } else {
    const float h = static_cast<float>(static_cast<LD>(H) / 60);
    const int i = static_cast<int>(std::floor(h));
    const float f = static_cast<float>(static_cast<LD>(h) - i);
    const float p = static_cast<float>((1 - static_cast<LD>(S)) * V);
    const float q = static_cast<float>((1 - static_cast<LD>(S) * f) * V);
    const float t = static_cast<float>((1 - (1 - static_cast<LD>(f)) * S) * V);
    switch (i) {
      case 0:
        ro = V, go = t, bo = p;
        break;
      case 1:
        ro = q, go = V, bo = p;
        break;
      case 2:
        ro = p, go = V, bo = t;
        break;
      case 3:
        ro = p, go = q, bo = V;
        break;
      case 4:
        ro = t, go = p, bo = V;
        break;
      default:
        ro = V, go = p, bo = q;
        break;
    }
  }
  return 0xFF000000u + ch(ro) * 65536 + ch(go) * 256 + ch(bo);
}

TColor32 Adjusted(TColor32 c, int step) {
  TBitmap32 bmp(1, 1);
  bmp.SetPixel(0, 0, c);
  AdjustLightness(bmp, step);
  return bmp.Pixel(0, 0);
}

TBitmap32 PatternBitmap(int w, int h, unsigned seed = 3) {
  TBitmap32 bmp;
  bmp.SetImage(KestrinTest::MakePatternImage(w, h, seed));
  bmp.SetResampler(TResamplerKind::Draft);
  return bmp;
}

// Answers every message box with OK and remembers them.
struct TMessageRecorder {
  std::vector<TMessageBoxRequest> Boxes;
  TMessageRecorder() {
    SetMessageHook([this](const TMessageBoxRequest& r) {
      Boxes.push_back(r);
      return QMessageBox::Ok;
    });
  }
  ~TMessageRecorder() { SetMessageHook(nullptr); }
};

// An editor filled the way the main window fills it.
struct TEditorFixture {
  TTrimmingForm Form{nullptr};
  TEditorFixture(const TBitmap32& photo, const TRect& crop, float minW = 147, float minH = 177,
                 const QString& file = QString()) {
    Form.ImgView->Bitmap().Assign(photo);
    Form.ImgView->BitmapChanged();
    Form.SetSourceFile(file);
    Form.SetCropFrame(crop);
    Form.SetMinCropSize(minW, minH);
  }
  TBitmap32& Photo() { return Form.ImgView->Bitmap(); }
  TFloatRect Frame() const { return Form.FCropFrame->Location(); }
};

bool SamePixels(const TBitmap32& a, const TBitmap32& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() && a.Image() == b.Image();
}

}  // namespace

TEST(AdjustLightness, ListedColours) {
  struct {
    TColor32 In;
    int Step;
    TColor32 Out;
  } cases[] = {
      {0xFF808080, +1, 0xFF8C8C8C}, {0xFF808080, -1, 0xFF737373}, {0xFF804020, +1, 0xFF8C4623},
      {0xFF804020, -1, 0xFF73391C}, {0xFFFFFFFF, +1, 0xFFFFFFFF}, {0xFFFFFFFF, -1, 0xFFE5E5E5},
      {0xFF000000, +1, 0xFF000000}, {0xFF000000, -1, 0xFF000000}, {0xFFFF0000, -1, 0xFFE50000},
      {0xFFFF00FF, -1, 0xFFE500E5}, {0x80808080, +1, 0xFF8C8C8C}, {0x00000000, -1, 0xFF000000},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Adjusted(c.In, c.Step), c.Out) << std::hex << c.In << " step " << std::dec << c.Step;
}

// All 16.7 M colours, both steps, in one 4096 x 4096 bitmap, compared with the plain
// implementation above. Alpha varies too, since it must not take part.
TEST(AdjustLightness, EveryColourMatchesReference) {
  TBitmap32 bmp(4096, 4096);
  for (int y = 0; y < 4096; ++y) {
    TColor32* row = bmp.ScanLine(y);
    for (int x = 0; x < 4096; ++x) {
      const TColor32 rgb = static_cast<TColor32>(y) * 4096 + x;
      row[x] = ((rgb * 2654435761u) & 0xFF000000u) | rgb;
    }
  }
  for (int step : {+1, -1}) {
    TBitmap32 work(bmp);
    AdjustLightness(work, step);
    long mismatches = 0;
    for (int y = 0; y < 4096; ++y) {
      const TColor32* row = work.ScanLine(y);
      for (int x = 0; x < 4096; ++x) {
        const TColor32 rgb = static_cast<TColor32>(y) * 4096 + x;
        if (row[x] != ReferenceLightness(rgb, step) && ++mismatches <= 5)
          ADD_FAILURE() << std::hex << "colour " << rgb << " step " << std::dec << step << ": "
                        << std::hex << row[x] << " expected " << ReferenceLightness(rgb, step);
      }
    }
    EXPECT_EQ(mismatches, 0) << "step " << step;
  }
  // The source bitmap shared its pixels with the copies and stays as it was.
  EXPECT_EQ(bmp.Pixel(1, 0), 1u | ((1u * 2654435761u) & 0xFF000000u));
}

// Steps other than the buttons' +1 and -1 take another arithmetic path; a sample of colours.
TEST(AdjustLightness, OtherStepsMatchReference) {
  TBitmap32 bmp(1024, 1024);
  for (int y = 0; y < 1024; ++y)
    for (int x = 0; x < 1024; ++x)
      bmp.SetPixel(x, y, (static_cast<TColor32>(y * 1024 + x) * 16 + (x % 16)) & 0xFFFFFF);
  for (int step : {+3, -2, -10}) {
    TBitmap32 work(bmp);
    AdjustLightness(work, step);
    long mismatches = 0;
    for (int y = 0; y < 1024; ++y)
      for (int x = 0; x < 1024; ++x)
        mismatches += work.Pixel(x, y) != ReferenceLightness(bmp.Pixel(x, y), step);
    EXPECT_EQ(mismatches, 0) << "step " << step;
  }
}

// Large enough that the turns and mirrors split their work across threads.
TEST(TrimmingForm, RotateClockwiseThenBackRestoresAndRefitsFrame) {
  const TBitmap32 original = PatternBitmap(700, 450);
  TEditorFixture e(original, {10, 10, 110, 60}, 100, 100);
  e.Form.btnRotateCW->click();
  ASSERT_EQ(e.Photo().Width(), 450);
  ASSERT_EQ(e.Photo().Height(), 700);
  // The top row became the right-hand column; (x, y) went to (H - 1 - y, x).
  EXPECT_EQ(e.Photo().Pixel(449, 0), original.Pixel(0, 0));
  EXPECT_EQ(e.Photo().Pixel(449 - 7, 123), original.Pixel(123, 7));
  // The frame keeps its 2:1 shape, as large as fits, centred: (0, 237.5, 450, 462.5).
  EXPECT_EQ(e.Frame(), (TFloatRect{0, 237.5f, 450, 462.5f}));
  e.Form.btnRotateCCW->click();
  EXPECT_TRUE(SamePixels(e.Photo(), original));
  EXPECT_EQ(e.Frame(), (TFloatRect{0, 50, 700, 400}));
  // Counter-clockwise on its own: (x, y) goes to (y, W - 1 - x).
  e.Form.btnRotateCCW->click();
  EXPECT_EQ(e.Photo().Pixel(7, 699 - 123), original.Pixel(123, 7));
}

// The turns and mirrors the editor's buttons use, pixel for pixel against plain loops, on
// sizes that are not multiples of the block and tile sizes, small and large enough to be
// split across threads.
TEST(TrimmingForm, TurnsAndMirrorsMatchPlainLoops) {
  for (QSize size : {QSize(13, 7), QSize(1, 5), QSize(701, 451), QSize(450, 703)}) {
    SCOPED_TRACE(testing::Message() << size.width() << " x " << size.height());
    TBitmap32 src = PatternBitmap(size.width(), size.height(), 5);
    const int w = src.Width(), h = src.Height();
    TBitmap32 cw(h, w), ccw(h, w), fh(w, h), fv(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        // Stamp each pixel with its position so that any misplacement shows.
        const TColor32 c = src.Pixel(x, y) ^ static_cast<TColor32>(x * 7919 + y * 104729);
        src.SetPixel(x, y, c);
        cw.SetPixel(h - 1 - y, x, c);
        ccw.SetPixel(y, w - 1 - x, c);
        fh.SetPixel(w - 1 - x, y, c);
        fv.SetPixel(x, h - 1 - y, c);
      }
    struct {
      void (TBitmap32::*Op)();
      const TBitmap32& Expected;
    } ops[] = {{&TBitmap32::Rotate90, cw},
               {&TBitmap32::Rotate270, ccw},
               {&TBitmap32::FlipHorz, fh},
               {&TBitmap32::FlipVert, fv}};
    for (const auto& op : ops) {
      TBitmap32 b(src);
      (b.*op.Op)();
      EXPECT_TRUE(SamePixels(b, op.Expected));
    }
  }
}

TEST(TrimmingForm, MirrorTwiceRestoresAndFrameStays) {
  const TBitmap32 original = PatternBitmap(700, 451);
  TEditorFixture e(original, {10, 20, 110, 70});
  e.Form.btnFlipHorz->click();
  EXPECT_EQ(e.Photo().Pixel(699 - 5, 9), original.Pixel(5, 9));
  e.Form.btnFlipHorz->click();
  EXPECT_TRUE(SamePixels(e.Photo(), original));
  e.Form.FlipVert->click();
  EXPECT_EQ(e.Photo().Pixel(5, 450 - 9), original.Pixel(5, 9));
  EXPECT_EQ(e.Photo().Pixel(5, 225), original.Pixel(5, 225));  // the middle row stays
  e.Form.FlipVert->click();
  EXPECT_TRUE(SamePixels(e.Photo(), original));
  EXPECT_EQ(e.Frame(), (TFloatRect{10, 20, 110, 70}));
}

// Minimum crop 147 x 177: a photo 177 wide and 147 high may still turn; one pixel less in
// either and the message comes instead, with nothing changed.
TEST(TrimmingForm, RotationGuardAtTheMinimumSize) {
  struct {
    int W, H;
    bool Allowed;
  } cases[] = {{177, 147, true}, {176, 147, false}, {177, 146, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.W << " x " << c.H);
    for (bool clockwise : {true, false}) {
      const TBitmap32 original = PatternBitmap(c.W, c.H);
      TEditorFixture e(original, {0, 0, c.W, c.H});
      TMessageRecorder boxes;
      (clockwise ? e.Form.btnRotateCW : e.Form.btnRotateCCW)->click();
      if (c.Allowed) {
        EXPECT_TRUE(boxes.Boxes.empty());
        EXPECT_EQ(e.Photo().Width(), c.H);
      } else {
        ASSERT_EQ(boxes.Boxes.size(), 1u);
        EXPECT_EQ(boxes.Boxes[0].Text, QStringLiteral("회전하면 최소사이즈보다 작아집니다"));
        EXPECT_TRUE(boxes.Boxes[0].Caption.isEmpty());
        EXPECT_EQ(boxes.Boxes[0].Icon, TMsgIcon::None);
        EXPECT_EQ(boxes.Boxes[0].Buttons, QMessageBox::Ok);
        EXPECT_TRUE(SamePixels(e.Photo(), original));
        EXPECT_EQ(e.Frame(), (TFloatRect{0, 0, float(c.W), float(c.H)}));
      }
    }
  }
}

TEST(TrimmingForm, CheckerboardSquaresAnchoredAtTheBuffer) {
  TTrimmingForm form(nullptr);
  TBitmap32 buffer(20, 20);
  buffer.Clear(0xFF123456);
  form.ImgViewPaintStage(buffer, 0);
  const auto colourOf = [&](int x0, int y0, int x1, int y1) -> TColor32 {
    const TColor32 c = buffer.Pixel(x0, y0);
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x)
        if (buffer.Pixel(x, y) != c) return 0;
    return c;
  };
  EXPECT_EQ(colourOf(0, 0, 13, 13), 0xFFEEEEEEu);
  EXPECT_EQ(colourOf(13, 0, 20, 13), 0xFFAAAAAAu);
  EXPECT_EQ(colourOf(0, 13, 13, 20), 0xFFAAAAAAu);
  EXPECT_EQ(colourOf(13, 13, 20, 20), 0xFFEEEEEEu);
  // Clipped: only the clip rectangle changes.
  buffer.Clear(0xFF123456);
  buffer.SetClipRect({5, 5, 15, 8});
  form.ImgViewPaintStage(buffer, 0);
  EXPECT_EQ(buffer.Pixel(4, 5), 0xFF123456u);
  EXPECT_EQ(buffer.Pixel(5, 5), 0xFFEEEEEEu);
  EXPECT_EQ(buffer.Pixel(14, 7), 0xFFAAAAAAu);
  EXPECT_EQ(buffer.Pixel(14, 8), 0xFF123456u);
  // The view paints it where the background was: around the photo.
  EXPECT_EQ(form.ImgView->PaintStages().front(), TImgView32::PST_CUSTOM);
  form.ImgView->Bitmap().SetImage(KestrinTest::MakePatternImage(100, 100));
  form.ImgView->resize(583, 394);
  form.ImgView->RenderBuffer();
  EXPECT_EQ(form.ImgView->Buffer().Pixel(0, 0), 0xFFEEEEEEu);
  EXPECT_EQ(form.ImgView->Buffer().Pixel(13, 0), 0xFFAAAAAAu);
}

// exec() with a button pressed from the event loop, as a user would.
int ExecPressing(TTrimmingForm& form, QAbstractButton* button) {
  QTimer::singleShot(0, button, [button] { button->click(); });
  return form.exec();
}

TEST(TrimmingForm, CancelDiscardsAndEmptiesTheView) {
  TEditorFixture e(PatternBitmap(400, 300), {0, 0, 200, 150});
  e.Form.btnBrightUp->click();
  EXPECT_EQ(ExecPressing(e.Form, e.Form.btnCancel), mrCancel);
  EXPECT_TRUE(e.Form.FResult.Empty());
  EXPECT_TRUE(e.Photo().Empty());
  // Esc also cancels.
  TEditorFixture e2(PatternBitmap(400, 300), {0, 0, 200, 150});
  QTimer::singleShot(0, &e2.Form, [&] { QTest::keyClick(&e2.Form, Qt::Key_Escape); });
  EXPECT_EQ(e2.Form.exec(), mrCancel);
}

TEST(TrimmingForm, OkHandsBackPhotoAndCrop) {
  const TBitmap32 original = PatternBitmap(400, 300);
  TEditorFixture e(original, {0, 0, 200, 150});
  e.Form.btnBrightUp->click();
  e.Form.btnFlipHorz->click();
  e.Form.FCropFrame->SetLocation({10.5f, 20, 110.25f, 95});
  EXPECT_EQ(ExecPressing(e.Form, e.Form.BtnOK), mrOk);
  EXPECT_TRUE(e.Photo().Empty());  // hidden: the view's photo is emptied
  TBitmap32 expected(original);
  AdjustLightness(expected, 1);
  expected.FlipHorz();
  EXPECT_TRUE(SamePixels(e.Form.FResult, expected));
  EXPECT_EQ(e.Form.FResult.Resampler(), TResamplerKind::Draft);
  EXPECT_EQ(e.Form.GetCropRect(), (TRect{10, 20, 111, 95}));
}

TEST(TrimmingForm, Layout) {
  TTrimmingForm form(nullptr);
  EXPECT_EQ(form.windowTitle(), QStringLiteral("트리밍"));
  EXPECT_EQ(form.size(), QSize(614, 467));
  EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_EQ(form.ImgView->geometry(), QRect(8, 48, 583, 394));
  EXPECT_EQ(form.ImgView->ScaleMode(), TImgView32::smOptimal);
  EXPECT_EQ(form.ImgView->RepaintMode(), TImgView32::rmOptimizer);
  EXPECT_EQ(form.FCropFrame->Handles(), 1805u);
  EXPECT_EQ(form.FCropFrame->MinWidth(), 10.0f);
  struct {
    QPushButton* Button;
    const char* Caption;
    int Width;
  } buttons[] = {{form.btnBrightUp, "밝게", 34},
                 {form.btnBrightDown, "어둡게", 48},
                 {form.btnRevert, "원래대로", 56},
                 {form.BtnOK, "확인", 56},
                 {form.btnCancel, "취소", 56}};
  for (const auto& b : buttons) {
    EXPECT_EQ(b.Button->text(), QString::fromUtf8(b.Caption));
    EXPECT_EQ(b.Button->width(), b.Width);
  }
  for (QToolButton* b : {form.btnRotateCW, form.btnRotateCCW, form.btnFlipHorz, form.FlipVert})
    EXPECT_FALSE(b->icon().isNull()) << b->objectName().toStdString();
}

// The view shows the photo at scale 1 when it fits, otherwise shrunk so that the tighter
// direction fills the view and the other is the scaled size to the nearest pixel; centred.
// The frame on the photo's bounds lies exactly on the photo.
TEST(TrimmingForm, PhotoFitsTheViewAndTheFrameFollows) {
  const struct {
    int W, H;
    TRect Shown;
  } cases[] = {
      {400, 300, {91, 47, 491, 347}},    // fits: scale 1
      {3000, 2000, {0, 2, 583, 391}},    // 2000 x 583 / 3000 = 388.67 -> 389 rows
      {2000, 3000, {160, 0, 423, 394}},  // 2000 x 394 / 3000 = 262.67 -> 263 columns
      {584, 394, {0, 0, 583, 393}},      // one pixel too wide
  };
  for (const auto& c : cases) {
    TEditorFixture e(PatternBitmap(c.W, c.H), {0, 0, c.W, c.H}, 10, 10);
    e.Form.ImgView->resize(583, 394);
    EXPECT_EQ(e.Form.ImgView->GetBitmapRect(), c.Shown) << c.W << "x" << c.H;
    EXPECT_EQ(RoundRect(e.Form.FCropFrame->GetAdjustedLocation()), c.Shown) << c.W << "x" << c.H;
  }
}

TEST(TrimmingForm, RevertReloadsTheSourceFile) {
  QTemporaryDir dir;
  const QString file = dir.filePath("photo.jpg");
  KestrinTest::WriteJpeg(KestrinTest::MakePatternImage(600, 400), file);
  TBitmap32 fromFile;
  LoadPhotoFromFile(fromFile, file);
  TBitmap32 photo(fromFile);
  photo.SetResampler(TResamplerKind::Draft);
  TEditorFixture e(photo, {100, 50, 400, 350}, 147, 177, file);  // a square frame
  e.Form.btnRotateCW->click();
  e.Form.btnBrightDown->click();
  ASSERT_EQ(e.Photo().Width(), 400);
  TMessageRecorder boxes;
  e.Form.btnRevert->click();
  EXPECT_TRUE(boxes.Boxes.empty());
  EXPECT_TRUE(SamePixels(e.Photo(), fromFile));
  EXPECT_EQ(e.Photo().Resampler(), TResamplerKind::Draft);
  EXPECT_EQ(e.Frame(), (TFloatRect{100, 0, 500, 400}));  // largest square, centred
}

TEST(TrimmingForm, RevertFailuresChangeNothing) {
  QTemporaryDir dir;
  const QString file = dir.filePath("photo.jpg");
  KestrinTest::WriteJpeg(KestrinTest::MakePatternImage(600, 400), file);
  const TBitmap32 photo = PatternBitmap(300, 200);
  struct {
    const char* Name;
    std::function<void()> Break;
    QString Source;
  } cases[] = {
      {"file gone", [&] { QFile::remove(file); }, file},
      {"not an image",
       [&] {
         QFile f(file);
         ASSERT_TRUE(f.open(QIODevice::WriteOnly));
         f.write("this is not a JPEG");
       },
       file},
      {"no source file", [] {}, QString()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    c.Break();
    TEditorFixture e(photo, {10, 10, 110, 60}, 147, 177, c.Source);
    TMessageRecorder boxes;
    e.Form.btnRevert->click();
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].Icon, TMsgIcon::Error);
    EXPECT_EQ(boxes.Boxes[0].Caption, AppTitle());
    EXPECT_FALSE(boxes.Boxes[0].Text.isEmpty());
    EXPECT_TRUE(SamePixels(e.Photo(), photo));
    EXPECT_EQ(e.Frame(), (TFloatRect{10, 10, 110, 60}));
  }
}
