#include "app/glyphs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>
#include <cmath>
#include <numbers>

namespace reelwork {

namespace {

constexpr int kSize = 16;

struct GlyphSource {
  const char *themeName;           // freedesktop icon name
  QStyle::StandardPixmap standard; // Qt's own picture, or SP_CustomBase to draw one
};

GlyphSource SourceOf(Glyph glyph) {
  switch (glyph) {
  case Glyph::OpenProject: return {"document-open", QStyle::SP_DirOpenIcon};
  case Glyph::OpenScript: return {"text-x-script", QStyle::SP_FileIcon};
  case Glyph::TopField: return {"go-up", QStyle::SP_ArrowUp};
  case Glyph::BottomField: return {"go-down", QStyle::SP_ArrowDown};
  case Glyph::SaveLoad: return {"view-refresh", QStyle::SP_BrowserReload};
  case Glyph::SaveAs: return {"document-save-as", QStyle::SP_DialogSaveButton};
  case Glyph::FindInterlace: return {nullptr, QStyle::SP_CustomBase};
  case Glyph::FindLight: return {nullptr, QStyle::SP_CustomBase};
  case Glyph::Resize: return {nullptr, QStyle::SP_CustomBase};
  case Glyph::Round: return {nullptr, QStyle::SP_CustomBase};
  case Glyph::Deinterlace: return {nullptr, QStyle::SP_CustomBase};
  case Glyph::Crop: return {nullptr, QStyle::SP_CustomBase};
  case Glyph::Calculate: return {"accessories-calculator", QStyle::SP_CustomBase};
  case Glyph::Encoder: return {"media-playback-start", QStyle::SP_MediaPlay};
  case Glyph::Options: return {"preferences-system", QStyle::SP_FileDialogListView};
  case Glyph::Previous: return {"go-previous", QStyle::SP_ArrowLeft};
  case Glyph::Next: return {"go-next", QStyle::SP_ArrowRight};
  case Glyph::Ok: return {"dialog-ok", QStyle::SP_DialogOkButton};
  case Glyph::Cancel: return {"dialog-cancel", QStyle::SP_DialogCancelButton};
  case Glyph::Reset: return {"edit-clear", QStyle::SP_DialogResetButton};
  case Glyph::Find: return {"edit-find", QStyle::SP_FileDialogContentsView};
  case Glyph::Browse: return {"folder-open", QStyle::SP_DirOpenIcon};
  }
  return {nullptr, QStyle::SP_CustomBase};
}

// The tools that no theme names: pictures of what they look at.
QIcon Drawn(Glyph glyph) {
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor ink(40, 40, 40);
  p.setPen(QPen(ink, 1.2));
  switch (glyph) {
  case Glyph::FindInterlace: // a frame with comb teeth
  case Glyph::Deinterlace:   // the same frame, smoothed
    p.drawRect(QRectF(1.5, 2.5, 13, 11));
    for (int y = 4; y <= 12; y += 2) {
      const bool shifted = glyph == Glyph::FindInterlace && (y / 2) % 2 == 1;
      p.drawLine(QPointF(shifted ? 5 : 3, y), QPointF(shifted ? 14 : 12, y));
    }
    break;
  case Glyph::FindLight: // a sun
    p.setBrush(QColor(250, 200, 40));
    p.drawEllipse(QPointF(8, 8), 3.5, 3.5);
    for (int i = 0; i < 8; ++i) {
      const double a = i * std::numbers::pi / 4;
      p.drawLine(QPointF(8 + 5 * std::cos(a), 8 + 5 * std::sin(a)), QPointF(8 + 7 * std::cos(a), 8 + 7 * std::sin(a)));
    }
    break;
  case Glyph::Resize: // a frame with an arrow out of its corner
    p.drawRect(QRectF(1.5, 5.5, 9, 9));
    p.drawLine(QPointF(7, 9), QPointF(14, 2));
    p.drawLine(QPointF(10, 2), QPointF(14, 2));
    p.drawLine(QPointF(14, 2), QPointF(14, 6));
    break;
  case Glyph::Round: // a dotted circle with its centre
    p.setPen(QPen(ink, 1.2, Qt::DotLine));
    p.drawEllipse(QPointF(8, 8), 6, 6);
    p.setPen(QPen(Qt::red, 2));
    p.drawPoint(QPointF(8, 8));
    break;
  case Glyph::Crop: // the two corner brackets of a crop
    p.drawLine(QPointF(4, 1), QPointF(4, 12));
    p.drawLine(QPointF(4, 12), QPointF(15, 12));
    p.drawLine(QPointF(1, 4), QPointF(12, 4));
    p.drawLine(QPointF(12, 4), QPointF(12, 15));
    break;
  case Glyph::Calculate: // a small calculator
    p.drawRoundedRect(QRectF(2.5, 1.5, 11, 13), 1.5, 1.5);
    p.fillRect(QRectF(4.5, 3.5, 7, 3), QColor(120, 170, 120));
    for (int r = 0; r < 2; ++r)
      for (int c = 0; c < 3; ++c)
        p.fillRect(QRectF(4.5 + c * 2.5, 8.5 + r * 2.5, 1.5, 1.5), ink);
    break;
  default:
    break;
  }
  return QIcon(pixmap);
}

} // namespace

QIcon GlyphIcon(Glyph glyph) {
  const GlyphSource source = SourceOf(glyph);
  QIcon fallback = source.standard == QStyle::SP_CustomBase
                       ? Drawn(glyph)
                       : QApplication::style()->standardIcon(source.standard);
  if (!source.themeName)
    return fallback;
  return QIcon::fromTheme(QString::fromLatin1(source.themeName), fallback);
}

void SetGlyph(QAbstractButton *button, Glyph glyph) {
  button->setIcon(GlyphIcon(glyph));
  button->setIconSize(QSize(kSize, kSize));
}

} // namespace reelwork
