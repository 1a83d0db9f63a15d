// The catalog of the seven ID-photo sizes that the program lays out on a print sheet.
#pragma once

#include <QString>
#include <array>
#include <cstdint>

#include "gfx/GR32Types.h"

namespace Kestrin {

struct PhotoType {
  std::int32_t SheetWidth = 0;
  std::int32_t SheetHeight = 0;
  std::int32_t Cols = 0;
  std::int32_t Rows = 0;
  std::int32_t Gap = 0;
  TRect Margins;  // widths of the blank strips: Left, Top, Right, Bottom
  QString Title;  // shown in the main window's title label while the type is selected
};

constexpr int kPhotoTypeCount = 7;
using TPhotoTypes = std::array<PhotoType, kPhotoTypeCount>;

// Fills all seven entries; the catalog never changes afterwards.
void InitPhotoTypes(TPhotoTypes& types);

// Caption of the type's selector button in the tool bar.
QString PhotoTypeCaption(int index);

}  // namespace Kestrin
