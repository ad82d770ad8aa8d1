#pragma once
// A horizontal slider that draws tick marks at given positions on both sides
// (Qt's own slider only draws evenly spaced ticks).

#include <QSlider>
#include <QVector>

namespace reelwork {

class TickSlider : public QSlider {
  Q_OBJECT
public:
  explicit TickSlider(QWidget *parent = nullptr);

  void setTicks(const QVector<int> &positions);
  void clearTicks() { setTicks({}); }
  const QVector<int> &ticks() const { return ticks_; }

  // Moves the handle without emitting valueChanged.
  void setPositionQuietly(int position);

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  QVector<int> ticks_;
};

} // namespace reelwork
