// The order JPEG encoder: the same bytes as the reference cjpeg, a plain baseline file.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

#include "JpegDecode.h"
#include "TestSupport.h"
#include "common/uErrors.h"
#include "gfx/GR32.h"
#include "order/uUtils.h"

extern "C" {
#include <jpeglib.h>
}

using namespace Kestrin;

namespace {

// A pattern bitmap whose alpha channel varies: the encoder must ignore it, not blend.
TBitmap32 MakeSheet(int width, int height) {
  TBitmap32 bmp(width, height);
  const QImage pattern = KestrinTest::MakePatternImage(width, height, 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const TColor32 alpha = static_cast<TColor32>((x * 31 + y * 17) & 0xFF) << 24;
      bmp.SetPixel(x, y, (pattern.pixel(x, y) & 0x00FFFFFF) | alpha);
    }
  return bmp;
}

QByteArray Ppm(const TBitmap32& bmp) {
  QByteArray out = QStringLiteral("P6\n%1 %2\n255\n").arg(bmp.Width()).arg(bmp.Height()).toLatin1();
  for (int y = 0; y < bmp.Height(); ++y)
    for (int x = 0; x < bmp.Width(); ++x) {
      const TColor32 c = bmp.Pixel(x, y);
      out += static_cast<char>((c >> 16) & 0xFF);
      out += static_cast<char>((c >> 8) & 0xFF);
      out += static_cast<char>(c & 0xFF);
    }
  return out;
}

QByteArray Encode(const TBitmap32& bmp) {
  QBuffer stream;
  stream.open(QIODevice::ReadWrite);
  BitmapToJpegStream(bmp, stream);
  EXPECT_EQ(stream.pos(), 0);
  return stream.data();
}

}  // namespace

TEST(JpegStream, SameBytesAsCjpegAndABaselineQuality100File) {
  QTemporaryDir dir;
  for (const auto& [w, h] : {std::pair{257, 131}, std::pair{1, 1}, std::pair{96, 96}}) {
    SCOPED_TRACE(testing::Message() << w << "x" << h);
    const TBitmap32 sheet = MakeSheet(w, h);
    const QByteArray ours = Encode(sheet);

    QFile ppm(dir.filePath("in.ppm"));
    ASSERT_TRUE(ppm.open(QIODevice::WriteOnly));
    ppm.write(Ppm(sheet));
    ppm.close();
    QProcess cjpeg;
    cjpeg.start("cjpeg", {"-quality", "100", ppm.fileName()});
    ASSERT_TRUE(cjpeg.waitForFinished(30000));
    ASSERT_EQ(cjpeg.exitCode(), 0) << cjpeg.readAllStandardError().toStdString();
    const QByteArray reference = cjpeg.readAllStandardOutput();
    ASSERT_FALSE(reference.isEmpty());
    EXPECT_TRUE(ours == reference) << "sizes " << ours.size() << " / " << reference.size();

    const KestrinTest::TJpegFile d = KestrinTest::DecodeJpegFile(ours);
    ASSERT_TRUE(d.Ok);
    EXPECT_EQ(d.Width, w);
    EXPECT_EQ(d.Height, h);
    EXPECT_EQ(d.Components, 3);
    EXPECT_EQ(d.ColorSpace, JCS_YCbCr);
    EXPECT_FALSE(d.Progressive);
    EXPECT_TRUE(d.AllQuantOnes);
    EXPECT_TRUE(ours.contains(QByteArray("\xFF\xC0", 2)));   // baseline frame
    EXPECT_FALSE(ours.contains(QByteArray("\xFF\xC2", 2)));  // no progressive frame
    // The colours are the bitmap's own: alpha neither blended nor kept.
    double diff = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const TColor32 c = sheet.Pixel(x, y);
        const QRgb p = d.Image.pixel(x, y);
        diff += std::abs(qRed(p) - static_cast<int>((c >> 16) & 0xFF)) +
                std::abs(qGreen(p) - static_cast<int>((c >> 8) & 0xFF)) +
                std::abs(qBlue(p) - static_cast<int>(c & 0xFF));
      }
    EXPECT_LT(diff / (w * h * 3.0), 8.0);  // chroma is subsampled 2x2; blending would be far off
  }
}

TEST(JpegStream, WritesAtThePositionAndRewinds) {
  const TBitmap32 sheet = MakeSheet(40, 30);
  const QByteArray alone = Encode(sheet);
  QBuffer stream;
  stream.open(QIODevice::ReadWrite);
  stream.write("PREFIX");
  BitmapToJpegStream(sheet, stream);
  EXPECT_EQ(stream.pos(), 0);
  EXPECT_EQ(stream.data(), QByteArray("PREFIX") + alone);

  TBitmap32 empty;
  QBuffer untouched;
  EXPECT_THROW(BitmapToJpegStream(empty, untouched), EKestrinError);
}
