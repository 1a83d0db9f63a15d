// TTrimmingForm: the photo editor. It shows a copy of the sheet's photo over a grey
// checkerboard with a crop frame on top, and rotates, mirrors, brightens, darkens or
// reloads the photo. "확인" hands the edited photo back in FResult and the frame through
// GetCropRect; "취소" discards everything.
#pragma once

#include <QDialog>
#include <QString>

#include "gfx/GR32.h"
#include "gfx/GR32_Image.h"
#include "gfx/GR32_Rubberband.h"

class QFrame;
class QPushButton;
class QToolBar;
class QToolButton;

namespace Kestrin {

// Brightens (step > 0) or darkens (step < 0) every pixel by step tenths of its value, with
// hue and saturation kept and the largest channel capped at 255. Alpha becomes 255.
void AdjustLightness(TBitmap32& Bitmap, int Step);

class TTrimmingForm : public QDialog {
  Q_OBJECT

 public:
  explicit TTrimmingForm(QWidget* owner);
  ~TTrimmingForm() override;

  // Controls.
  QFrame* sPanel1 = nullptr;
  QToolBar* sToolBar1 = nullptr;
  TImgView32* ImgView = nullptr;
  QToolButton* btnRotateCW = nullptr;
  QToolButton* btnRotateCCW = nullptr;
  QToolButton* btnFlipHorz = nullptr;
  QToolButton* FlipVert = nullptr;
  QPushButton* btnBrightUp = nullptr;
  QPushButton* btnBrightDown = nullptr;
  QPushButton* btnRevert = nullptr;
  QPushButton* BtnOK = nullptr;
  QPushButton* btnCancel = nullptr;

  // The crop frame; owned by the view's layer collection.
  TRubberbandLayer* FCropFrame = nullptr;
  // The edited photo, filled by "확인".
  TBitmap32 FResult;
  // The photo's file on disk, reloaded by "원래대로".
  QString FSourceFile;

  void SetSourceFile(const QString& FileName);
  // Places the frame on rect (photo pixels) exactly as given.
  void SetCropFrame(const TRect& Rect);
  // The frame rounded outward to whole pixels.
  void GetCropRect(TRect& Rect) const;
  TRect GetCropRect() const;
  // Smallest frame a sizing drag may produce; also the limit of the rotation guard.
  void SetMinCropSize(float MinWidth, float MinHeight);

  // Paint stage of the view: the checkerboard behind the photo.
  void ImgViewPaintStage(TBitmap32& Buffer, unsigned StageNum);
  // Corrects each drag step of the frame: keeps it inside the photo and its shape as it was
  // when the drag began.
  void RBResizing(TRubberbandLayer* Sender, const TFloatRect& OldLocation, TFloatRect& NewLocation,
                  TDragState DragState, Qt::KeyboardModifiers Shift);

  // Event handlers. They may throw; the buttons run them through GuardHandler.
  void btnRotateCWClick();
  void btnRotateCCWClick();
  void btnFlipHorzClick();
  void FlipVertClick();
  void btnBrightUpClick();
  void btnBrightDownClick();
  void btnRevertClick();
  void BtnOKClick();
  void FormHide();

  // Esc ends the dialog like "취소".
  void reject() override;

 protected:
  void hideEvent(QHideEvent* event) override;

 private:
  void FormCreate();
  void BuildControls();
  // Rotates by 90 degrees after the size guard, then re-fits the frame.
  void Rotate(bool clockwise);
  // The frame becomes the largest rectangle of its shape centred in the photo.
  void RefitCropFrame();
};

}  // namespace Kestrin
