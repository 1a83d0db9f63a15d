// Loading photos at full size: the direct JPEG decoder against Qt's own, and the files that
// must be refused with a clear message and leave the bitmap as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>

#include "TestSupport.h"
#include "gfx/uPhotoLoader.h"
#include "uErrors.h"

using namespace Kestrin;

namespace {

QByteArray JpegBytes(int w, int h, int quality = 90) {
  QTemporaryDir dir;
  const QString path = dir.filePath("p.jpg");
  KestrinTest::WriteJpeg(KestrinTest::MakePatternImage(w, h, 4), path, quality);
  QFile f(path);
  EXPECT_TRUE(f.open(QIODevice::ReadOnly));
  return f.readAll();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

TEST(PhotoLoader, DecodesLikeQtsReaderAsOpaquePixels) {
  QTemporaryDir dir;
  const QString path = dir.filePath("photo.JPG");
  WriteFile(path, JpegBytes(333, 221));
  TBitmap32 photo;
  photo.SetResampler(TResamplerKind::Draft);
  LoadPhotoFromFile(photo, path);
  ASSERT_EQ(photo.Width(), 333);
  ASSERT_EQ(photo.Height(), 221);
  EXPECT_EQ(photo.Resampler(), TResamplerKind::Draft);  // properties stay

  QImageReader reader(path);
  QImage reference = reader.read().convertToFormat(QImage::Format_RGB32);
  int differing = 0;
  for (int y = 0; y < 221; ++y)
    for (int x = 0; x < 333; ++x)
      differing += photo.Pixel(x, y) != (reference.pixel(x, y) | 0xFF000000u);
  EXPECT_EQ(differing, 0);
  EXPECT_EQ(photo.Pixel(5, 5) >> 24, 0xFFu);
}

TEST(PhotoLoader, BadFilesAreRefusedAndChangeNothing) {
  QTemporaryDir dir;
  const QByteArray good = JpegBytes(300, 400);
  // A header that claims 60000 x 60000 pixels: the SOF0 segment's height and width.
  QByteArray huge = good;
  const int sof = huge.indexOf("\xFF\xC0");
  ASSERT_GT(sof, 0);
  huge[sof + 5] = char(0xEA), huge[sof + 6] = char(0x60);  // height 60000
  huge[sof + 7] = char(0xEA), huge[sof + 8] = char(0x60);  // width 60000

  const struct {
    const char* Name;
    QByteArray Bytes;
    const char* Expect;  // part of the message
  } cases[] = {
      {"empty.jpg", QByteArray(), "빈 파일"},
      {"text.jpg", QByteArray("this is not a picture\n"), "JPEG 사진이 아니"},
      {"cut.jpg", good.left(good.size() / 2), "끊겨"},
      {"header-only.jpg", good.left(sof + 20), "끊겨"},
      {"huge.jpg", huge, "너무 큽니다"},
  };
  for (const auto& c : cases) {
    const QString path = dir.filePath(c.Name);
    WriteFile(path, c.Bytes);
    TBitmap32 photo(10, 10);
    photo.Clear(0xFF112233);
    try {
      LoadPhotoFromFile(photo, path);
      ADD_FAILURE() << c.Name << " was accepted";
    } catch (const EKestrinError& e) {
      EXPECT_TRUE(e.Text().contains(QString::fromUtf8(c.Expect)))
          << c.Name << ": " << e.Text().toStdString();
    }
    EXPECT_EQ(photo.Width(), 10) << c.Name;
    EXPECT_EQ(photo.Pixel(3, 3), 0xFF112233u) << c.Name;
  }
  TBitmap32 photo;
  EXPECT_THROW(LoadPhotoFromFile(photo, dir.filePath("gone.jpg")), EKestrinError);
  EXPECT_THROW(LoadPhotoFromFile(photo, dir.path()), EKestrinError);  // a folder
  // A pipe named like a photo (opening it would wait for a writer for ever).
  const QByteArray fifo = dir.filePath("pipe.jpg").toLocal8Bit();
  ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
  EXPECT_THROW(LoadPhotoFromFile(photo, QString::fromLocal8Bit(fifo)), EKestrinError);
}

}  // namespace
