#include "uImageSelector.h"

#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include "app/uThumbDecoder.h"

namespace Kestrin {

// ---------------------------------------------------------------------------------------
// TThumbnailModel

int TThumbnailModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Count();
}

QVariant TThumbnailModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || index.row() >= Count()) return {};
  const TThumbEntry& e = FEntries[index.row()];
  switch (role) {
    case Qt::DisplayRole:
      return e.Caption;
    case Qt::ToolTipRole:
      return e.FileName;
    case FileNameRole:
      return e.FileName;
    case ThumbRole:
      return e.Thumb;
    case DecodedRole:
      return !e.Thumb.isNull();
    default:
      return {};
  }
}

void TThumbnailModel::Clear() {
  if (FEntries.empty()) return;
  beginResetModel();
  FEntries.clear();
  FEntries.shrink_to_fit();
  endResetModel();
}

int TThumbnailModel::Append(std::vector<TThumbEntry> entries) {
  const int first = Count();
  if (entries.empty()) return first;
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(entries.size()) - 1);
  for (TThumbEntry& e : entries) FEntries.push_back(std::move(e));
  endInsertRows();
  return first;
}

// ---------------------------------------------------------------------------------------
// TThumbnailDelegate

QFont TThumbnailDelegate::CaptionFont(const QFont& base) {
  QFont f(base);
  f.setPointSize(kThumbCaptionPointSize);
  return f;
}

const QImage& TThumbnailDelegate::Placeholder() {
  // A grey card with a crossed-out picture frame: "this file shows no picture".
  static const QImage image = [] {
    QImage img(96, 72, QImage::Format_ARGB32);
    img.fill(0xFFE4E7EE);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x9A, 0xA3, 0xB5), 2));
    p.drawRect(QRectF(1, 1, 94, 70));
    p.setBrush(QColor(0xC5, 0xCC, 0xDA));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRectF(16, 14, 14, 14));
    QPolygonF hills;
    hills << QPointF(8, 64) << QPointF(34, 34) << QPointF(52, 52) << QPointF(66, 40)
          << QPointF(88, 64);
    p.drawPolygon(hills);
    p.setPen(QPen(QColor(0xC0, 0x39, 0x2B), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(30, 18), QPointF(66, 54));
    p.drawLine(QPointF(66, 18), QPointF(30, 54));
    return img;
  }();
  return image;
}

QString TThumbnailDelegate::FittedCaption(const QString& caption, const QFontMetrics& fm,
                                          int width) {
  if (fm.horizontalAdvance(caption) <= width) return caption;
  const QString dots = QStringLiteral("...");
  for (qsizetype cut = 1; cut < caption.size(); ++cut) {
    const QString shown = dots + caption.mid(cut);
    if (fm.horizontalAdvance(shown) <= width) return shown;
  }
  return dots;
}

QSize TThumbnailDelegate::sizeHint(const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
  (void)index;
  const QFontMetrics fm(CaptionFont(option.font));
  // The lower gap grows to the caption's height plus 2 pixels.
  const int bottom = std::max(kThumbBottomGap, fm.height() + 2);
  return {kThumbWidth, kThumbUpperGap + kThumbHeight + bottom};
}

void TThumbnailDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
  painter->save();
  const QRect cell = option.rect;
  const bool selected = option.state & QStyle::State_Selected;
  const QPalette& pal = option.palette;
  painter->fillRect(cell, selected ? QColor(0xDC, 0xE9, 0xFA) : pal.color(QPalette::Base));

  // Thumbnail, centred in its box.
  const QRect box(cell.left() + (cell.width() - kThumbWidth) / 2, cell.top() + kThumbUpperGap,
                  kThumbWidth, kThumbHeight);
  const QImage thumb = index.data(TThumbnailModel::ThumbRole).value<QImage>();
  const QImage& shown = thumb.isNull() ? Placeholder() : thumb;
  const QRect target(box.left() + (box.width() - shown.width()) / 2,
                     box.top() + (box.height() - shown.height()) / 2, shown.width(),
                     shown.height());
  painter->drawImage(target, shown);

  // Caption under the picture, no background, shortened from its start.
  const QFont font = CaptionFont(option.font);
  const QFontMetrics fm(font);
  const QString caption = index.data(Qt::DisplayRole).toString();
  const QRect textRect(cell.left() + 2, box.bottom() + 1, cell.width() - 4,
                       cell.bottom() - box.bottom());
  painter->setFont(font);
  painter->setPen(pal.color(QPalette::Text));
  painter->drawText(textRect, Qt::AlignHCenter | Qt::AlignVCenter,
                    FittedCaption(caption, fm, textRect.width()));

  // Outline: the selected cell in the active caption colour, the others in a quiet grey.
  painter->setPen(selected ? pal.color(QPalette::Highlight) : QColor(0xB4, 0xBD, 0xCC));
  painter->setBrush(Qt::NoBrush);
  painter->drawRect(cell.adjusted(0, 0, -1, -1));
  painter->restore();
}

// ---------------------------------------------------------------------------------------
// Listing

QFileInfoList JpegFilesOf(const QString& folder) {
  if (folder.isEmpty()) return {};
  QDir dir(folder);
  // Without QDir::Hidden and QDir::System: hidden files, devices, pipes and sockets stay out
  // (a pipe named x.jpg would block the reader). Without QDir::CaseSensitive the pattern
  // matches ".JPG" too. Unsorted: the order in which the file system returns the names.
  dir.setNameFilters({QStringLiteral("*.jpg")});
  dir.setFilter(QDir::Files | QDir::NoDotAndDotDot);
  dir.setSorting(QDir::Unsorted);
  QFileInfoList found = dir.entryInfoList();
  QFileInfoList files;
  files.reserve(found.size());
  // Regular files only, also behind links: a link to a pipe would block the reader forever,
  // and links to devices or to nothing are no photos.
  for (const QFileInfo& fi : found)
    if (fi.isFile()) files.push_back(fi);
  return files;
}

namespace {

QThreadPool& ThumbnailPool() {
  // A private pool: decoding is CPU-bound, and a few threads fill two cores without piling up
  // decode buffers for very large photos.
  static QThreadPool* pool = [] {
    auto* p = new QThreadPool();
    p->setMaxThreadCount(std::clamp(QThread::idealThreadCount(), 2, 4));
    return p;
  }();
  return *pool;
}

// Files are decoded and appended in batches, so that a folder of thousands of photos never
// holds more than one batch of decoder output beside the finished thumbnails.
constexpr int kBatchSize = 64;

}  // namespace

// ---------------------------------------------------------------------------------------
// TImageSelector

TImageSelector::TImageSelector(QWidget* parent) : QListView(parent) {
  FModel = new TThumbnailModel(this);
  setModel(FModel);
  setItemDelegate(new TThumbnailDelegate(this));
  setViewMode(QListView::IconMode);
  setFlow(QListView::LeftToRight);
  setWrapping(true);
  setResizeMode(QListView::Adjust);
  setMovement(QListView::Static);
  setUniformItemSizes(true);
  setSpacing(kThumbCellSpacing / 2);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setDragEnabled(false);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setMouseTracking(true);
}

int TImageSelector::SelectedIndex() const {
  const QModelIndex cur = currentIndex();
  if (!cur.isValid() || !selectionModel()->isSelected(cur)) return -1;
  return cur.row();
}

void TImageSelector::SetSelectedIndex(int index) {
  if (index < 0 || index >= FModel->Count()) {
    selectionModel()->clearCurrentIndex();
    clearSelection();
    return;
  }
  const QModelIndex mi = FModel->index(index);
  selectionModel()->setCurrentIndex(mi, QItemSelectionModel::ClearAndSelect);
}

QString TImageSelector::FileNameOf(int index) const {
  if (index < 0 || index >= FModel->Count()) return QString();
  return FModel->Entry(index).FileName;
}

void TImageSelector::ListFolder(const QString& folder) {
  FModel->Clear();
  const QFileInfoList files = JpegFilesOf(folder);
  // Names and paths are taken here, on this thread; the workers only decode.
  QStringList paths;
  paths.reserve(files.size());
  for (const QFileInfo& fi : files) paths << QDir::cleanPath(fi.absoluteFilePath());
  const std::function<QImage(const QString&)> decode = [](const QString& path) {
    return DecodeThumbnail(path, kThumbWidth, kThumbHeight).Image;
  };
  for (qsizetype start = 0; start < paths.size(); start += kBatchSize) {
    const QStringList batch = paths.mid(start, kBatchSize);
    // Each result lands at its file's position, so the entries come in folder order.
    const QList<QImage> thumbs = QtConcurrent::blockingMapped(&ThumbnailPool(), batch, decode);
    std::vector<TThumbEntry> entries;
    entries.reserve(batch.size());
    for (qsizetype i = 0; i < batch.size(); ++i)
      entries.push_back({thumbs[i], files[start + i].fileName(), batch[i]});
    FModel->Append(std::move(entries));
  }
  // The last appended entry is the selected one; no selection event.
  SetSelectedIndex(FModel->Count() - 1);
  if (FModel->Count() > 0) scrollTo(FModel->index(FModel->Count() - 1));
}

void TImageSelector::mousePressEvent(QMouseEvent* event) {
  // Only the left button selects; the others leave the list as it is.
  if (event->button() != Qt::LeftButton) {
    event->accept();
    return;
  }
  const int before = SelectedIndex();
  QListView::mousePressEvent(event);
  const int after = SelectedIndex();
  if (after >= 0 && after != before) emit ImageSelect(after);
}

void TImageSelector::mouseMoveEvent(QMouseEvent* event) {
  // Dragging with a button down must not move the selection behind the user's back.
  if (event->buttons() != Qt::NoButton) {
    event->accept();
    return;
  }
  QListView::mouseMoveEvent(event);
}

void TImageSelector::mouseDoubleClickEvent(QMouseEvent* event) {
  // A double click is a press on the entry that the first click has already selected.
  event->accept();
}

void TImageSelector::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End: {
      const int before = SelectedIndex();
      QListView::keyPressEvent(event);
      const int after = SelectedIndex();
      if (after >= 0 && after != before) emit ImageSelect(after);
      return;
    }
    default:
      QListView::keyPressEvent(event);
  }
}

void TImageSelector::wheelEvent(QWheelEvent* event) {
  // One row of cells per notch (the scroll bar's single step is one row with its spacing).
  FWheelAngle += event->angleDelta().y();
  const int notches = FWheelAngle / 120;
  FWheelAngle -= notches * 120;
  if (notches != 0) {
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->value() - notches * bar->singleStep());
  }
  event->accept();
}

QItemSelectionModel::SelectionFlags TImageSelector::selectionCommand(const QModelIndex& index,
                                                                     const QEvent* event) const {
  if (!index.isValid()) return QItemSelectionModel::NoUpdate;
  const QItemSelectionModel::SelectionFlags command = QListView::selectionCommand(index, event);
  if (command.testFlag(QItemSelectionModel::Deselect)) return QItemSelectionModel::NoUpdate;
  return command;
}

void TImageSelector::enterEvent(QEnterEvent* event) {
  QListView::enterEvent(event);
  emit MouseEnter();
}

}  // namespace Kestrin
