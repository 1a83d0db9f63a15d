// Photo browser speed: listing a folder of twenty 24 MP camera JPEGs into the thumbnail list,
// beside the command-line tools djpeg (1/8 DCT scaling) and vipsthumbnail on the same files,
// and the full-size load of one photo beside a full djpeg decode. Also lists a folder of
// 1,000 such photos and reports the thumbnails' memory and the process's peak memory.
//
// The photos (6000 x 4000, baseline 4:2:0, quality 90) are made once into
// /tmp/kestrin-bench-browser and reused by later runs.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>

#include "app/uImageSelector.h"
#include "app/uThumbDecoder.h"
#include "gfx/uPhotoLoader.h"

using namespace Kestrin;

namespace {

constexpr int kPhotoCount = 20;
constexpr int kBigFolderCount = 1000;

QString BenchDir() {
  return QStringLiteral("/tmp/kestrin-bench-browser");
}
QString PhotoDir() {
  return BenchDir() + QStringLiteral("/twenty");
}
QString BigDir() {
  return BenchDir() + QStringLiteral("/thousand");
}
QString PhotoPath(int i) {
  return PhotoDir() + QStringLiteral("/IMG_%1.jpg").arg(i, 4, 10, QChar('0'));
}

// A camera-like picture: smooth gradients, shapes and sensor-like noise, so that the file
// has the size and entropy of a real photo (about 8 to 12 MB at quality 90).
QImage MakeCameraPicture(int seed) {
  QImage img(6000, 4000, QImage::Format_RGB32);
  QPainter p(&img);
  QLinearGradient sky(0, 0, 0, 4000);
  sky.setColorAt(0, QColor::fromHsv((seed * 37) % 360, 90, 235));
  sky.setColorAt(1, QColor::fromHsv((seed * 37 + 120) % 360, 160, 90));
  p.fillRect(img.rect(), sky);
  QRandomGenerator rng(seed);
  p.setRenderHint(QPainter::Antialiasing);
  for (int i = 0; i < 60; ++i) {
    p.setBrush(QColor::fromHsv(rng.bounded(360), 40 + rng.bounded(200), 40 + rng.bounded(200)));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(rng.bounded(6000), rng.bounded(4000)), 100 + rng.bounded(900),
                  100 + rng.bounded(700));
  }
  p.end();
  for (int y = 0; y < img.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < img.width(); ++x) {
      const int n = static_cast<int>(rng.bounded(25)) - 12;
      const QRgb c = line[x];
      line[x] = qRgb(std::clamp(qRed(c) + n, 0, 255), std::clamp(qGreen(c) + n, 0, 255),
                     std::clamp(qBlue(c) + n, 0, 255));
    }
  }
  return img;
}

void MakePhotosOnce() {
  QDir().mkpath(PhotoDir());
  for (int i = 0; i < kPhotoCount; ++i) {
    if (QFileInfo(PhotoPath(i)).size() > 0) continue;
    QImageWriter writer(PhotoPath(i) + QStringLiteral(".part"), "jpeg");
    writer.setQuality(90);  // baseline, 4:2:0: the JPEG writer's defaults
    if (!writer.write(MakeCameraPicture(i + 1))) qFatal("cannot write the bench photos");
    QFile::rename(PhotoPath(i) + QStringLiteral(".part"), PhotoPath(i));
  }
  // The big folder: hard links to the twenty photos, fifty names each.
  QDir().mkpath(BigDir());
  for (int i = 0; i < kBigFolderCount; ++i) {
    const QString link = BigDir() + QStringLiteral("/P%1.jpg").arg(i, 4, 10, QChar('0'));
    if (!QFileInfo::exists(link)) QFile::link(PhotoPath(i % kPhotoCount), link);
  }
}

void RunTool(const QString& program, const QStringList& args) {
  QProcess proc;
  proc.start(program, args);
  if (!proc.waitForFinished(120000) || proc.exitStatus() != QProcess::NormalExit ||
      proc.exitCode() != 0)
    qFatal("%s failed: %s", qPrintable(program), proc.readAllStandardError().constData());
}

bool HaveTool(const QString& program) {
  QProcess proc;
  proc.start(program, {QStringLiteral("--version")});
  return proc.waitForStarted(5000) && proc.waitForFinished(5000);
}

void PerFileCounters(benchmark::State& state, int files) {
  state.SetItemsProcessed(state.iterations() * files);
  state.counters["ms_per_file"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * files / 1000.0,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The thumbnail list as the program fills it: parallel decoding, appended in folder order.
void BM_ListFolderTwenty(benchmark::State& state) {
  TImageSelector list;
  for (auto _ : state) {
    list.ListFolder(PhotoDir());
    if (list.Model()->Count() != kPhotoCount) state.SkipWithError("wrong number of entries");
  }
  PerFileCounters(state, kPhotoCount);
}
BENCHMARK(BM_ListFolderTwenty)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();

// The same thumbnails decoded one after the other on this thread, for comparison: with the
// browser's decoder, and with Qt's image reader (DCT scaling too, full colour pipeline).
void BM_ThumbnailsSequential(benchmark::State& state) {
  for (auto _ : state)
    for (int i = 0; i < kPhotoCount; ++i)
      benchmark::DoNotOptimize(DecodeThumbnail(PhotoPath(i), kThumbWidth, kThumbHeight));
  PerFileCounters(state, kPhotoCount);
}
BENCHMARK(BM_ThumbnailsSequential)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();

void BM_QtReaderThumbnailsSequential(benchmark::State& state) {
  for (auto _ : state)
    for (int i = 0; i < kPhotoCount; ++i)
      benchmark::DoNotOptimize(LoadThumbnail(PhotoPath(i), kThumbWidth, kThumbHeight));
  PerFileCounters(state, kPhotoCount);
}
BENCHMARK(BM_QtReaderThumbnailsSequential)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3)
    ->UseRealTime();

void BM_DjpegScaleEighth(benchmark::State& state) {
  for (auto _ : state)
    for (int i = 0; i < kPhotoCount; ++i)
      RunTool(QStringLiteral("djpeg"),
              {QStringLiteral("-scale"), QStringLiteral("1/8"), QStringLiteral("-outfile"),
               QStringLiteral("/dev/null"), PhotoPath(i)});
  PerFileCounters(state, kPhotoCount);
}
BENCHMARK(BM_DjpegScaleEighth)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();

void BM_Vipsthumbnail(benchmark::State& state) {
  if (!HaveTool(QStringLiteral("vipsthumbnail"))) {
    state.SkipWithError("vipsthumbnail not installed");
    for (auto _ : state) {
    }
    return;
  }
  const QString out = BenchDir() + QStringLiteral("/vips-%s.jpg");
  for (auto _ : state)
    for (int i = 0; i < kPhotoCount; ++i)
      RunTool(QStringLiteral("vipsthumbnail"), {PhotoPath(i), QStringLiteral("-s"),
                                                QStringLiteral("130"), QStringLiteral("-o"), out});
  PerFileCounters(state, kPhotoCount);
}
BENCHMARK(BM_Vipsthumbnail)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();

// Choosing a photo: the full-size decode into the sheet's bitmap.
void BM_LoadPhotoFullSize(benchmark::State& state) {
  for (auto _ : state) {
    TBitmap32 photo;
    LoadPhotoFromFile(photo, PhotoPath(0));
    benchmark::DoNotOptimize(photo.Width());
  }
}
BENCHMARK(BM_LoadPhotoFullSize)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();

void BM_DjpegFullDecode(benchmark::State& state) {
  for (auto _ : state)
    RunTool(QStringLiteral("djpeg"),
            {QStringLiteral("-outfile"), QStringLiteral("/dev/null"), PhotoPath(0)});
}
BENCHMARK(BM_DjpegFullDecode)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();

// A folder of 1,000 photos: the list keeps thumbnails only.
double ResidentMB() {
  QFile statm(QStringLiteral("/proc/self/statm"));
  if (!statm.open(QIODevice::ReadOnly)) return 0;
  const QList<QByteArray> fields = statm.readAll().split(' ');
  return fields.size() > 1 ? fields[1].toDouble() * 4096 / (1024.0 * 1024.0) : 0;
}

void BM_ListFolderThousand(benchmark::State& state) {
  TImageSelector list;
  const double before = ResidentMB();
  qint64 thumbBytes = 0;
  for (auto _ : state) {
    list.ListFolder(BigDir());
    state.PauseTiming();
    thumbBytes = 0;
    for (int i = 0; i < list.Model()->Count(); ++i)
      thumbBytes += list.Model()->Entry(i).Thumb.sizeInBytes();
    if (list.Model()->Count() != kBigFolderCount) state.SkipWithError("wrong number of entries");
    state.ResumeTiming();
  }
  PerFileCounters(state, kBigFolderCount);
  state.counters["thumbs_MB"] = static_cast<double>(thumbBytes) / (1024.0 * 1024.0);
  state.counters["rss_growth_MB"] = ResidentMB() - before;
}
BENCHMARK(BM_ListFolderThousand)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  MakePhotosOnce();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
