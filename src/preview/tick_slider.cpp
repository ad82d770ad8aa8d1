#include "preview/tick_slider.h"

#include <QPainter>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionSlider>

namespace reelwork {

TickSlider::TickSlider(QWidget *parent) : QSlider(Qt::Horizontal, parent) {
  setTickPosition(QSlider::NoTicks); // the ticks are drawn here, not by the style
}

void TickSlider::setTicks(const QVector<int> &positions) {
  ticks_ = positions;
  update();
}

void TickSlider::setPositionQuietly(int position) {
  const QSignalBlocker block(this);
  setValue(position);
}

void TickSlider::paintEvent(QPaintEvent *event) {
  QSlider::paintEvent(event);
  QStyleOptionSlider option;
  initStyleOption(&option);
  const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
  const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
  const int span = groove.width() - handle.width();
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::WindowText));
  auto drawTick = [&](int position, int length) {
    const int x = groove.left() + handle.width() / 2 +
                  QStyle::sliderPositionFromValue(minimum(), maximum(), position, span);
    painter.drawLine(x, 0, x, length);
    painter.drawLine(x, height() - 1 - length, x, height() - 1);
  };
  // The ends are always marked, like a slider with manual ticks.
  drawTick(minimum(), 4);
  drawTick(maximum(), 4);
  for (int position : ticks_)
    if (position >= minimum() && position <= maximum())
      drawTick(position, 3);
}

} // namespace reelwork
