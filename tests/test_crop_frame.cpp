// The editor's crop frame: the correction of each drag step (inside the photo, shape of the
// drag's start), the minimum size of sizing drags, the hit zones and cursors, the outward
// rounding of the result, and drags with real mouse events through the view.
#include <gtest/gtest.h>

#include <QTest>

#include "TestSupport.h"
#include "editor/uTrimmingForm.h"

using namespace Kestrin;

namespace {

struct TFrameFixture {
  TTrimmingForm Form{nullptr};
  TFrameFixture(int photoW, int photoH, const TRect& crop) {
    Form.ImgView->Bitmap().SetImage(KestrinTest::MakePatternImage(photoW, photoH));
    Form.ImgView->BitmapChanged();
    Form.SetCropFrame(crop);
  }
  TRubberbandLayer* Frame() { return Form.FCropFrame; }
  // The frame's corner and a point inside, in view pixels.
  QPoint Corner() {
    const TRect s = RoundRect(Frame()->GetAdjustedLocation());
    return {s.Right - 1, s.Bottom - 1};
  }
};

::testing::AssertionResult SameRect(const TFloatRect& a, const TFloatRect& b) {
  if (a == b) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "(" << a.Left << ", " << a.Top << ", " << a.Right << ", " << a.Bottom << ") != ("
         << b.Left << ", " << b.Top << ", " << b.Right << ", " << b.Bottom << ")";
}

}  // namespace

// The correction the dialog applies to a proposed drag step.
TEST(CropFrame, DragStepCorrection) {
  struct {
    const char* Name;
    int PhotoW, PhotoH;
    TFloatRect Old, Proposed;
    TDragState State;
    TFloatRect Expected;
  } cases[] = {
      {"move pushed back inside",
       400,
       300,
       {50, 50, 150, 100},
       {-20, 260, 80, 310},
       dsMove,
       {0, 250, 100, 300}},
      {"move past right edge",
       400,
       300,
       {50, 50, 150, 100},
       {330, 10, 430, 60},
       dsMove,
       {300, 10, 400, 60}},
      {"move inside unchanged",
       400,
       300,
       {50, 50, 150, 100},
       {60, 70, 160, 120},
       dsMove,
       {60, 70, 160, 120}},
      {"height gives way", 1000, 1000, {0, 0, 100, 50}, {0, 0, 130, 80}, dsSizeBR, {0, 0, 130, 65}},
      {"width gives way", 1000, 1000, {0, 0, 100, 50}, {0, 0, 200, 60}, dsSizeBR, {0, 0, 120, 60}},
      {"clipped at the photo's edge",
       110,
       300,
       {0, 0, 100, 50},
       {0, 0, 160, 80},
       dsSizeBR,
       {0, 0, 110, 55}},
      {"clipped at the bottom edge",
       1000,
       70,
       {0, 0, 100, 50},
       {0, 0, 160, 90},
       dsSizeBR,
       {0, 0, 140, 70}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TFrameFixture f(c.PhotoW, c.PhotoH, {0, 0, 10, 10});
    TFloatRect n = c.Proposed;
    f.Form.RBResizing(f.Frame(), c.Old, n, c.State, Qt::NoModifier);
    EXPECT_TRUE(SameRect(n, c.Expected));
  }
}

// A sizing drag far up and to the left stops at the minimum size; the shape correction then
// takes the height below it, and the result rounds outward.
TEST(CropFrame, MinimumSizeThenShapeCorrection) {
  TFrameFixture f(1000, 800, {0, 0, 295, 354});
  f.Form.SetMinCropSize(147, 177);
  const QPoint corner = f.Corner();
  ASSERT_EQ(f.Frame()->GetDragState(corner.x(), corner.y()), dsSizeBR);
  f.Frame()->MouseDown(Qt::LeftButton, Qt::NoModifier, corner.x(), corner.y());
  f.Frame()->MouseMove(Qt::NoModifier, -500, -500);
  f.Frame()->MouseUp(Qt::LeftButton, Qt::NoModifier, -500, -500);
  EXPECT_TRUE(SameRect(f.Frame()->Location(), {0, 0, 147, 176.4f}));
  EXPECT_EQ(f.Form.GetCropRect(), (TRect{0, 0, 147, 177}));
  EXPECT_FALSE(f.Frame()->IsDragging());
}

TEST(CropFrame, HitZonesAndCursors) {
  // 400 x 300 fits the view at scale 1; the frame's corner pixel is at (Right - 1, Bottom - 1).
  TFrameFixture f(400, 300, {100, 100, 300, 200});
  const QPoint c = f.Corner();
  const TRect s = RoundRect(f.Frame()->GetAdjustedLocation());
  struct {
    const char* Name;
    int X, Y;
    TDragState State;
    std::optional<Qt::CursorShape> Cursor;
  } cases[] = {
      {"corner pixel", c.x(), c.y(), dsSizeBR, Qt::SizeFDiagCursor},
      {"inside, 6 px from the corner", c.x() - 6, c.y() - 6, dsSizeBR, Qt::SizeFDiagCursor},
      {"outside, 6 px past the corner", c.x() + 6, c.y() + 6, dsSizeBR, Qt::SizeFDiagCursor},
      {"inside, 7 px from the corner", c.x() - 7, c.y() - 7, dsMove, Qt::ArrowCursor},
      {"outside, 7 px past the corner", c.x() + 7, c.y(), dsNone, std::nullopt},
      {"top-left corner: no handle", s.Left, s.Top, dsMove, Qt::ArrowCursor},
      {"just left of the frame", s.Left - 1, s.Top + 10, dsNone, std::nullopt},
      {"right edge line, far from the corner", s.Right - 1, s.Top + 10, dsNone, std::nullopt},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.Name);
    EXPECT_EQ(f.Frame()->GetDragState(k.X, k.Y), k.State);
    EXPECT_EQ(f.Frame()->CursorAt(k.X, k.Y), k.Cursor);
  }
}

TEST(CropFrame, CropRectRoundsOutward) {
  TFrameFixture f(400, 300, {0, 0, 10, 10});
  f.Frame()->SetLocation({10.2f, 20.0f, 30.5f, 40.0f});
  EXPECT_EQ(f.Form.GetCropRect(), (TRect{10, 20, 31, 40}));
  // Set as given: nothing is clamped to the photo or the minimum size.
  f.Form.SetMinCropSize(147, 177);
  f.Form.SetCropFrame({-5, 0, 20, 900});
  EXPECT_TRUE(SameRect(f.Frame()->Location(), {-5, 0, 20, 900}));
}

// Real mouse events on the view: a move at scale 1 with a fractional offset, and a resize of
// a photo shown reduced.
TEST(CropFrame, MouseDragsThroughTheView) {
  {
    TFrameFixture f(400, 300, {50, 50, 150, 100});
    f.Form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.Form));
    TImgView32* view = f.Form.ImgView;
    ASSERT_EQ(view->LayerScale(), 1.0f);
    const QPoint p(RoundRect(f.Frame()->GetAdjustedLocation()).Left + 20,
                   RoundRect(f.Frame()->GetAdjustedLocation()).Top + 10);
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, p);
    QTest::mouseMove(view, p + QPoint(5, 3));
    QTest::mouseMove(view, p + QPoint(10, 5));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, p + QPoint(10, 5));
    EXPECT_TRUE(SameRect(f.Frame()->Location(), {60, 55, 160, 105}));
    // Dragged far off to the top left it stops at the photo's corner, size kept.
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, p + QPoint(10, 5));
    QTest::mouseMove(view, QPoint(1, 1));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, QPoint(1, 1));
    EXPECT_TRUE(SameRect(f.Frame()->Location(), {0, 0, 100, 50}));
  }
  {
    TFrameFixture f(800, 600, {100, 100, 400, 300});
    f.Form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.Form));
    TImgView32* view = f.Form.ImgView;
    const float scale = view->LayerScale();
    ASSERT_LT(scale, 1.0f);
    const QPoint c = f.Corner();
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, c);
    QTest::mouseMove(view, c + QPoint(30, 30));
    QTest::mouseRelease(view, Qt::LeftButton, Qt::NoModifier, c + QPoint(30, 30));
    // The pointer went 30 view pixels right; the frame keeps its 3:2 shape, so the height
    // gives way. Left and top stay.
    const TFloatRect l = f.Frame()->Location();
    EXPECT_EQ(l.Left, 100);
    EXPECT_EQ(l.Top, 100);
    EXPECT_NEAR(l.Right, 400 + 30 / scale, 1.0 / scale);
    EXPECT_NEAR((l.Right - l.Left) / (l.Bottom - l.Top), 1.5, 1e-5);
  }
}

// The optimised repaint after a drag must leave the same picture as a full one: the areas
// it repaints must cover the old handle (to erase it) and the new one (to draw it).
TEST(CropFrame, OptimisedRepaintCoversTheHandle) {
  TFrameFixture f(500, 350, {100, 80, 300, 200});
  TImgView32* view = f.Form.ImgView;
  view->resize(583, 394);
  const auto drag = [&](int dx, int dy) {
    const QPoint c = f.Corner() - QPoint(30, 30);
    f.Frame()->MouseDown(Qt::LeftButton, Qt::NoModifier, c.x(), c.y());
    f.Frame()->MouseMove(Qt::NoModifier, c.x() + dx, c.y() + dy);
    f.Frame()->MouseUp(Qt::LeftButton, Qt::NoModifier, c.x() + dx, c.y() + dy);
  };
  const auto optimisedMatchesFull = [&] {
    view->RenderBuffer();
    const QImage optimised = view->Buffer().Image().copy();
    view->Invalidate();
    view->RenderBuffer();
    return optimised == view->Buffer().Image();
  };
  view->RenderBuffer();
  drag(-60, -40);
  EXPECT_TRUE(SameRect(f.Frame()->Location(), {40, 40, 240, 160}));
  EXPECT_TRUE(optimisedMatchesFull()) << "old handle left behind";
  drag(150, 100);
  EXPECT_TRUE(SameRect(f.Frame()->Location(), {190, 140, 390, 260}));
  view->RenderBuffer();
  // Yellow inside a red border round the frame's corner point, reaching past the frame.
  const TRect s = RoundRect(f.Frame()->GetAdjustedLocation());
  EXPECT_EQ(view->Buffer().Pixel(s.Right + 3, s.Bottom + 3), 0xFFFFFF00u);
  EXPECT_EQ(view->Buffer().Pixel(s.Right + 4, s.Bottom + 3), 0xFFFF0000u);
  EXPECT_EQ(view->Buffer().Pixel(s.Left, s.Top + 20), 0xFFFF0000u);
  EXPECT_TRUE(optimisedMatchesFull());
}
