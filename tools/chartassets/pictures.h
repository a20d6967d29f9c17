// The chart's two pictures, drawn by the generator: the rotated axis
// captions and the sheet of tags, call-out and overview strip parts.
#pragma once

#include <string>

#include "canvas.h"

namespace chartassets {

// 30 × 176: "Amps" in (0, 0, 30, 80) and "Volts" in (0, 98, 30, 70), both
// reading upward. At another scale every size and region is scaled
// (ScaledRegion) and the text is rendered at the scaled size.
bool DrawCaptionPicture(const std::string& fontPath, double scale, Canvas* out, std::string* error);
// 90 × 192: date tag, hover call-out, value tag, track and thumb parts and
// their hovered looks; scaled like the captions.
void DrawSheetPicture(double scale, Canvas* out);

}  // namespace chartassets
