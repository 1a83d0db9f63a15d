// The thumbnail list of the photo browser: a list model that holds small thumbnails with
// their captions and file paths, the view that shows them in a grid of cells, and the
// listing of one folder's JPEG files.
#pragma once

#include <QAbstractListModel>
#include <QFileInfo>
#include <QImage>
#include <QListView>
#include <QStyledItemDelegate>
#include <vector>

namespace Kestrin {

// Largest thumbnail side and the layout of one cell.
constexpr int kThumbWidth = 130;
constexpr int kThumbHeight = 130;
constexpr int kThumbUpperGap = 5;
constexpr int kThumbBottomGap = 5;
constexpr int kThumbCellSpacing = 4;
constexpr int kThumbCaptionPointSize = 9;

struct TThumbEntry {
  QImage Thumb;      // null: the file could not be decoded; the cell shows a placeholder
  QString Caption;   // the file's name without folder
  QString FileName;  // the full path
};

class TThumbnailModel : public QAbstractListModel {
  Q_OBJECT

 public:
  enum Roles { FileNameRole = Qt::UserRole + 1, ThumbRole, DecodedRole };

  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  void Clear();
  // Appends entries at the end, in the given order; returns the index of the first.
  int Append(std::vector<TThumbEntry> entries);
  int Count() const { return static_cast<int>(FEntries.size()); }
  const TThumbEntry& Entry(int index) const { return FEntries.at(index); }

 private:
  std::vector<TThumbEntry> FEntries;
};

// Paints one cell: the thumbnail centred in its 130 x 130 box below the upper gap, the caption
// under it (9 pt, shortened from its start with "..." when too wide), a one-pixel outline.
class TThumbnailDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  static QFont CaptionFont(const QFont& base);
  // The caption as it fits into width pixels: unchanged when it fits, otherwise shortened
  // from its start one character at a time, with "..." in front, until it fits.
  static QString FittedCaption(const QString& caption, const QFontMetrics& fm, int width);
  // The picture shown for files that cannot be decoded.
  static const QImage& Placeholder();
};

// The list view. ImageSelect is raised only for the user's own selections: a left-button
// press on an entry that is not selected yet, or a keyboard move of the selection. Setting
// the selection from code (after a listing) raises nothing.
class TImageSelector : public QListView {
  Q_OBJECT

 public:
  explicit TImageSelector(QWidget* parent = nullptr);

  TThumbnailModel* Model() const { return FModel; }
  // Index of the selected entry, or -1.
  int SelectedIndex() const;
  void SetSelectedIndex(int index);
  // The full path stored with an entry; empty for an index out of range.
  QString FileNameOf(int index) const;

  // Clears the list and lists the folder's "*.jpg" files (letter case ignored, hidden files
  // and folders skipped, in the file system's own order); the last one becomes selected.
  // Thumbnails are decoded on a few worker threads; the result is the same as decoding one
  // after the other.
  void ListFolder(const QString& folder);

 signals:
  void ImageSelect(int idx);
  void MouseEnter();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  // The selection is never dropped by the user: neither a Ctrl+click on the selected entry nor
  // a press beside the entries leaves the list without one.
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event) const override;

 public:
  // Typing letters does not jump through the list: only the keys above move the selection.
  void keyboardSearch(const QString& search) override { (void)search; }

 private:
  TThumbnailModel* FModel;
  int FWheelAngle = 0;  // wheel turn not yet worth a whole notch, in eighths of a degree
};

// The files that a listing of folder shows, in the file system's order.
QFileInfoList JpegFilesOf(const QString& folder);

}  // namespace Kestrin
