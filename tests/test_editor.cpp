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
