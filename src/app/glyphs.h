#pragma once
// The small pictures on the buttons of every window. Each comes from the
// desktop's icon theme when it has one, else from Qt's own style, else is
// drawn here, so that the same action looks the same in every window.

#include <QIcon>

class QAbstractButton;

namespace reelwork {

enum class Glyph {
  OpenProject,   // open a D2V project
  OpenScript,    // open an AVS script
  TopField,      // test top field first
  BottomField,   // test bottom field first
  SaveLoad,      // save and reload the script
  SaveAs,        // save under another name
  FindInterlace, // search for a combed frame
  FindLight,     // search for a bright frame
  Resize,
  Round,         // round-object aspect test
  Deinterlace,
  Crop,
  Calculate,     // bitrate calculator
  Encoder,       // hand over to the encoder
  Options,
  Previous,      // one frame back
  Next,          // one frame on
  Ok,
  Cancel,
  Reset,
  Find,
  Browse,
};

QIcon GlyphIcon(Glyph glyph);

// Puts the glyph on the button at the size used throughout (16 × 16).
void SetGlyph(QAbstractButton *button, Glyph glyph);

} // namespace reelwork
