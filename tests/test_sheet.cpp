// The print sheet model: fit geometry, the photo size catalog and the tile sheet layer.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "gfx/GR32_Image.h"
#include "sheet/uPhotoTypes.h"
#include "sheet/uTileLayer.h"
#include "sheet/uUtils.h"

namespace Kestrin {
// Readable rectangles in failure messages.
void PrintTo(const TRect& r, std::ostream* os) {
  *os << "(" << r.Left << ", " << r.Top << ", " << r.Right << ", " << r.Bottom << ")";
}
}  // namespace Kestrin

using namespace Kestrin;

namespace {

struct TFitCase {
  TRect A, B, Expected;
};

TEST(FitGeometry, FitRectCases) {
  const TFitCase cases[] = {
      {{0, 0, 1500, 2100}, {0, 0, 96, 96}, {14, 0, 82, 96}},               // order thumbnail
      {{0, 0, 295, 354}, {0, 0, 3000, 2000}, {667, 0, 2333, 2000}},        // automatic crop
      {{0, 0, 295, 354}, {0, 0, 2000, 3000}, {0, 300, 2000, 2700}},        // full width
      {{0, 0, 295, 354}, {0, 0, 590, 708}, {0, 0, 590, 708}},              // same shape
      {{0, 0, 7, 7}, {0, 0, 59, 59}, {1, 0, 58, 59}},                      // extended quotient
      {{0, 0, 295, 354}, {0, 0, 0, 0}, {0, 0, 0, 0}},                      // empty bounds
      {{0, 0, 10, 10}, {100, 50, 140, 70}, {110, 50, 130, 70}},            // B off the origin
      {{0, 0, 0, 10}, {5, 5, 25, 45}, {5, 5, 25, 45}},                     // A without width
      {{3, 3, 3, 3}, {0, 0, 8, 9}, {0, 0, 8, 9}},                          // A without area
      {{0, 0, 60000, 50000}, {0, 0, 60000, 50000}, {0, 0, 60000, 50000}},  // beyond 32-bit products
  };
  for (const auto& c : cases) {
    TRect r;
    FitRect(c.A, c.B, r);
    EXPECT_EQ(r, c.Expected) << "A (" << c.A.Right << "x" << c.A.Bottom << ")";
  }
  // The result may be written over an input.
  TRect b{0, 0, 3000, 2000};
  FitRect({0, 0, 295, 354}, b, b);
  EXPECT_EQ(b, (TRect{667, 0, 2333, 2000}));
}

TEST(FitGeometry, FitFloatRectAndOutwardRect) {
  TFloatRect r;
  FitFloatRect({0, 0, 100, 50}, {0, 0, 40, 40}, r);
  EXPECT_EQ(r, (TFloatRect{0, 10, 40, 30}));
  FitFloatRect({0, 0, 50, 100}, {0, 0, 40, 40}, r);
  EXPECT_EQ(r, (TFloatRect{10, 0, 30, 40}));
  FitFloatRect({0, 0, 2, 2}, {0, 0, 5, 5}, r);  // equal shapes take the full height
  EXPECT_EQ(r, (TFloatRect{0, 0, 5, 5}));
  FitFloatRect({0, 0, 0, 4}, {1, 2, 3, 4}, r);  // no shape: the bounds
  EXPECT_EQ(r, (TFloatRect{1, 2, 3, 4}));

  TRect o;
  OutwardRect({10.2f, 20.0f, 30.5f, 40.0f}, o);
  EXPECT_EQ(o, (TRect{10, 20, 31, 40}));
  OutwardRect({-0.5f, 0, 7.0f, 1.0f}, o);
  EXPECT_EQ(o, (TRect{-1, 0, 7, 1}));
}

// A view holding the sheet of one catalog type, as selecting the type builds it.
struct TSheetFixture {
  TImgView32 View;
  TTileLayer* Layer = nullptr;
  PhotoType Type;

  explicit TSheetFixture(int index, QSize viewSize = QSize(700, 450)) {
    TPhotoTypes types;
    InitPhotoTypes(types);
    Type = types[index];
    View.resize(viewSize);
    View.SetScaleMode(TImgView32::smOptimal);
    View.Bitmap().SetSize(Type.SheetWidth, Type.SheetHeight);
    View.Bitmap().Clear(clWhite32);
    Layer = new TTileLayer(View.Layers());
    Layer->SetScaled(true);
    Layer->SetMargins(Type.Margins);
    Layer->SetGrid(Type.Cols, Type.Rows);
    Layer->SetGaps(Type.Gap, Type.Gap);
    Layer->SetLocation(
        {0, 0, static_cast<float>(Type.SheetWidth), static_cast<float>(Type.SheetHeight)});
  }

  TBitmap32 Render() {
    TBitmap32 out(View.Bitmap().Width(), View.Bitmap().Height());
    View.PaintTo(out, out.BoundsRect());
    return out;
  }

  TRect Cell(int c, int r) const {
    const int tw = Layer->TileWidth(), th = Layer->TileHeight();
    const int left = Type.Margins.Left + c * (tw + Type.Gap);
    const int top = Type.Margins.Top + r * (th + Type.Gap);
    return {left, top, left + tw, top + th};
  }
};

TBitmap32 DraftPhoto(int w, int h, unsigned seed = 1) {
  TBitmap32 photo;
  photo.SetImage(KestrinTest::MakePatternImage(w, h, seed));
  photo.SetResampler(TResamplerKind::Draft);
  return photo;
}

TEST(PhotoCatalog, TileSizesFillEverySheetExactly) {
  const struct {
    int W, H, Count;
  } expected[kPhotoTypeCount] = {{295, 354, 20}, {354, 472, 12}, {413, 531, 9}, {590, 590, 6},
                                 {590, 472, 8},  {590, 826, 4},  {708, 944, 4}};
  TPhotoTypes types;
  InitPhotoTypes(types);
  for (int i = 0; i < kPhotoTypeCount; ++i) {
    TSheetFixture f(i);
    const PhotoType& t = types[i];
    EXPECT_EQ(f.Layer->TileWidth(), expected[i].W) << "type " << i;
    EXPECT_EQ(f.Layer->TileHeight(), expected[i].H) << "type " << i;
    EXPECT_EQ(t.Cols * t.Rows, expected[i].Count) << "type " << i;
    EXPECT_EQ((t.SheetWidth - t.Margins.Left - t.Margins.Right - (t.Cols - 1) * t.Gap) % t.Cols, 0);
    EXPECT_EQ((t.SheetHeight - t.Margins.Top - t.Margins.Bottom - (t.Rows - 1) * t.Gap) % t.Rows,
              0);
    const TRect last = f.Cell(t.Cols - 1, t.Rows - 1);
    EXPECT_EQ(last.Right, t.SheetWidth - t.Margins.Right) << "type " << i;
    EXPECT_EQ(last.Bottom, t.SheetHeight - t.Margins.Bottom) << "type " << i;
  }
  EXPECT_EQ(types[4].Title, QStringLiteral("공무원 ( 4cm x 5cm )"));
  EXPECT_EQ(PhotoTypeCaption(6), QStringLiteral("지갑형"));
}

TEST(PhotoCatalog, CellRectangles) {
  const struct {
    int Type, Col, Row;
    TRect Cell;
  } cases[] = {
      {0, 0, 0, {103, 89, 398, 443}},     {0, 3, 4, {1102, 1657, 1397, 2011}},
      {2, 0, 0, {93, 216, 506, 747}},     {2, 2, 2, {995, 1354, 1408, 1885}},
      {6, 1, 1, {769, 1069, 1477, 2013}},
  };
  for (const auto& c : cases) {
    TSheetFixture f(c.Type);
    EXPECT_EQ(f.Cell(c.Col, c.Row), c.Cell) << "type " << c.Type;
  }
}

TEST(TileLayer, EmptySheetHasGreyCellsOnWhite) {
  TSheetFixture f(0);
  const TBitmap32 sheet = f.Render();
  ASSERT_EQ(sheet.Width(), 1500);
  ASSERT_EQ(sheet.Height(), 2100);
  int grey = 0;
  for (int y = 0; y < sheet.Height(); ++y)
    for (int x = 0; x < sheet.Width(); ++x) grey += sheet.Pixel(x, y) == kCellColor;
  EXPECT_EQ(grey, 20 * 295 * 354);  // twenty grey blocks, nothing else grey
  EXPECT_EQ(sheet.Pixel(103, 89), kCellColor);
  EXPECT_EQ(sheet.Pixel(397, 442), kCellColor);
  EXPECT_EQ(sheet.Pixel(102, 89), clWhite32);   // left margin
  EXPECT_EQ(sheet.Pixel(398, 100), clWhite32);  // gap
  EXPECT_EQ(sheet.Pixel(1499, 2099), clWhite32);
}

TEST(TileLayer, PhotoFillsEachCellInsideItsOutline) {
  TSheetFixture f(0);
  const TBitmap32 photo = DraftPhoto(3000, 2000);
  f.Layer->SetPhoto(photo);
  EXPECT_EQ(f.Layer->FCropRect(), (TRect{667, 0, 2333, 2000}));
  EXPECT_EQ(f.Layer->FPhoto().Resampler(), TResamplerKind::Draft);

  // The reference cell: the crop reduced to the tile by the draft resampler.
  const QImage cell =
      ScaleImagePart(photo.Image(), f.Layer->FCropRect(), 295, 354, TResamplerKind::Draft);
  const TBitmap32 sheet = f.Render();
  for (const auto& [c, r] : {std::pair{0, 0}, std::pair{3, 4}, std::pair{1, 2}}) {
    const TRect cr = f.Cell(c, r);
    int outline = 0, inner = 0, wrong = 0;
    for (int y = cr.Top; y < cr.Bottom; ++y) {
      for (int x = cr.Left; x < cr.Right; ++x) {
        const bool edge = x == cr.Left || x == cr.Right - 1 || y == cr.Top || y == cr.Bottom - 1;
        const TColor32 expected =
            edge ? kCellColor
                 : reinterpret_cast<const TColor32*>(cell.constScanLine(y - cr.Top))[x - cr.Left];
        (edge ? outline : inner)++;
        wrong += sheet.Pixel(x, y) != expected;
      }
    }
    EXPECT_EQ(wrong, 0) << "cell " << c << "," << r;
    EXPECT_EQ(outline, 2 * 295 + 2 * 352);
    EXPECT_EQ(inner, 293 * 352);
  }
  // Column 104 and row 90 already show the photo, the margins stay white.
  EXPECT_NE(sheet.Pixel(104, 90), kCellColor);
  EXPECT_EQ(sheet.Pixel(50, 50), clWhite32);
}

TEST(TileLayer, PhotoOfTileSizeIsCopiedOneToOne) {
  TSheetFixture f(3);  // 590 x 590 tiles
  const TBitmap32 photo = DraftPhoto(590, 590, 3);
  f.Layer->SetPhoto(photo);
  EXPECT_EQ(f.Layer->FCropRect(), (TRect{0, 0, 590, 590}));
  const TBitmap32 sheet = f.Render();
  const TRect cr = f.Cell(1, 2);
  int wrong = 0;
  for (int y = cr.Top + 1; y < cr.Bottom - 1; ++y)
    for (int x = cr.Left + 1; x < cr.Right - 1; ++x)
      wrong += sheet.Pixel(x, y) != (photo.Pixel(x - cr.Left, y - cr.Top) | 0xFF000000u);
  EXPECT_EQ(wrong, 0);
}

TEST(TileLayer, RenderingIgnoresTheScreenZoomAndRepaintsAfterChanges) {
  TSheetFixture small(0, QSize(320, 240));
  TSheetFixture large(0, QSize(1600, 2200));
  const TBitmap32 photo = DraftPhoto(1200, 1600, 5);
  small.Layer->SetPhoto(photo);
  large.Layer->SetPhoto(photo);
  small.View.RenderBuffer();  // paint on screen first: caches must not leak into the render
  EXPECT_LT(small.View.LayerScale(), 0.2f);
  EXPECT_EQ(large.View.LayerScale(), 1.0f);
  const TBitmap32 a = small.Render(), b = large.Render();
  EXPECT_TRUE(a.Image() == b.Image());

  // The screen shows the sheet reduced into the view, centred, on the grey background.
  const TRect shown = small.View.GetBitmapRect();
  EXPECT_EQ(shown.Height(), 240);
  EXPECT_EQ(small.View.Buffer().Pixel(0, 0), 0xFF808080u);
  EXPECT_EQ(small.View.Buffer().Pixel(shown.Left + 2, shown.Top + 2), clWhite32);

  // After an order the owner empties the photo and signals: grey cells again, crop kept.
  const TRect crop = small.Layer->FCropRect();
  small.Layer->FPhoto().SetSize(0, 0);
  small.Layer->Changed();
  const TBitmap32 emptied = small.Render();
  EXPECT_EQ(emptied.Pixel(200, 200), kCellColor);
  EXPECT_EQ(small.Layer->FCropRect(), crop);
  EXPECT_EQ(small.Layer->FPhoto().Resampler(), TResamplerKind::Draft);

  // A new crop shows at once.
  large.Layer->SetCropRect({0, 0, 295, 354});
  const TBitmap32 recropped = large.Render();
  EXPECT_EQ(recropped.Pixel(200, 200), photo.Pixel(200 - 103, 200 - 89) | 0xFF000000u);
}

TEST(TileLayer, CropReachingOutsideThePhotoIsClipped) {
  TSheetFixture f(0);
  const TBitmap32 photo = DraftPhoto(400, 500, 7);
  f.Layer->SetPhoto(photo);
  // Left half of the crop lies outside the photo: only the inside part is drawn, in the
  // right half of the cell; the rest of the cell stays white.
  f.Layer->SetCropRect({-295, 0, 295, 354});
  const TBitmap32 sheet = f.Render();
  const TRect cr = f.Cell(0, 0);
  EXPECT_EQ(sheet.Pixel(cr.Left + 40, cr.Top + 100), clWhite32);
  const int mid = cr.Left + 295 / 2 + 5;
  EXPECT_NE(sheet.Pixel(mid + 40, cr.Top + 100), clWhite32);
  // Entirely outside: white cells in their outlines.
  f.Layer->SetCropRect({5000, 5000, 6000, 6000});
  EXPECT_EQ(f.Render().Pixel(cr.Left + 100, cr.Top + 100), clWhite32);
  f.Layer->SetCropRect({0, 0, 0, 0});
  EXPECT_EQ(f.Render().Pixel(cr.Left + 100, cr.Top + 100), clWhite32);
}

TEST(TileLayer, EmptyGridAndFractionalLocations) {
  TImgView32 view;
  auto* layer = new TTileLayer(view.Layers());
  EXPECT_EQ(layer->Location(), (TFloatRect{0, 0, 64, 64}));
  EXPECT_FALSE(layer->Scaled());
  TBitmap32 out(100, 100);
  out.Clear(0xFF000000);
  view.PaintTo(out, out.BoundsRect());
  EXPECT_EQ(out.Pixel(63, 63), clWhite32);  // a white rectangle of the location's size
  EXPECT_EQ(out.Pixel(64, 64), 0xFF808080u);

  layer->SetGrid(1, 1);
  for (const auto& [width, tile] :
       {std::pair{1500.5f, 1500}, std::pair{1501.5f, 1502}, std::pair{1499.5f, 1500}}) {
    layer->SetLocation({0, 0, width, 10});
    EXPECT_EQ(layer->TileWidth(), tile) << width;
  }
  view.Layers()->Clear();
  EXPECT_EQ(view.Layers()->Count(), 0);
}

TEST(Bitmap32, DrawCopiesEqualSizesAndClips) {
  TBitmap32 src;
  src.SetImage(KestrinTest::MakePatternImage(40, 30, 2));
  TBitmap32 dst(50, 50);
  dst.Clear(clBlack32);
  dst.Draw({20, 30, 60, 60}, src.BoundsRect(), src);  // reaches past the right and bottom
  EXPECT_EQ(dst.Pixel(20, 30), src.Pixel(0, 0));
  EXPECT_EQ(dst.Pixel(49, 49), src.Pixel(29, 19));
  EXPECT_EQ(dst.Pixel(19, 30), clBlack32);

  TBitmap32 copy(src);
  EXPECT_TRUE(copy.Image() == src.Image());
  src.SetResampler(TResamplerKind::Draft);
  copy.Assign(src);
  EXPECT_EQ(copy.Resampler(), TResamplerKind::Draft);
  EXPECT_STREQ(copy.ResamplerClassName(), "TDraftResampler");

  // Outline of one pixel inside the rectangle, clipped to the bitmap.
  TBitmap32 frame(5, 5);
  frame.Clear(0);
  frame.FrameRectS({-1, 1, 4, 4}, 0xFF123456);
  EXPECT_EQ(frame.Pixel(0, 1), 0xFF123456u);
  EXPECT_EQ(frame.Pixel(3, 3), 0xFF123456u);
  EXPECT_EQ(frame.Pixel(2, 2), 0u);
  EXPECT_EQ(frame.Pixel(4, 1), 0u);
}

}  // namespace
