#include "uPhotoTypes.h"

namespace Kestrin {

void InitPhotoTypes(TPhotoTypes& types) {
  // All sheets are 5 x 7 inch at 300 ppi; grids and margins fill them exactly.
  types[0] = {1500, 2100, 4, 5, 38, {103, 89, 103, 89}, QStringLiteral("증 명 ( 2.5cm x 3cm )")};
  types[1] = {1500, 2100, 3, 4, 38, {181, 49, 181, 49}, QStringLiteral("반명함 ( 3cm x 4cm )")};
  types[2] = {1500, 2100, 3, 3, 38, {93, 216, 92, 215}, QStringLiteral("여 권 ( 3.5cm x 4.5cm )")};
  types[3] = {1500, 2100, 2, 3, 38, {141, 127, 141, 127}, QStringLiteral("미국여권 ( 5cm x 5cm )")};
  types[4] = {1500, 2100, 2, 4, 38, {141, 49, 141, 49}, QStringLiteral("공무원 ( 4cm x 5cm )")};
  types[5] = {1500, 2100, 2, 2, 38, {141, 205, 141, 205}, QStringLiteral("명 함 ( 5cm x 7cm )")};
  types[6] = {1500, 2100, 2, 2, 38, {23, 87, 23, 87}, QStringLiteral("Wallet ( 6cm x 8cm )")};
}

QString PhotoTypeCaption(int index) {
  static const char* const kCaptions[kPhotoTypeCount] = {"증 명",  "반명함", "여 권", "미국여권",
                                                         "공무원", "명 함",  "지갑형"};
  if (index < 0 || index >= kPhotoTypeCount) return QString();
  return QString::fromUtf8(kCaptions[index]);
}

}  // namespace Kestrin
