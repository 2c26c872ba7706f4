#pragma once
// Drags a window's size grip the way a hand does: the mouse goes to places on the screen while
// the bar, at the bottom of the window, moves away under it.
#include <QPoint>
#include <QTest>

#include "platform/ui/native_qt.h"
#include "platform/ui/controls.h"

inline void DragGrip(plat::TControl* bar, int dx, int dy) {
  const QPoint grip(bar->Width() - 4, bar->Height() - 4);
  const plat::TPoint start = bar->ClientToScreen({grip.x(), grip.y()});
  auto at = [&](int x, int y) {
    const plat::TPoint p = bar->ScreenToClient({start.X + x, start.Y + y});
    return QPoint(p.X, p.Y);
  };
  QTest::mousePress(plat::WidgetOf(bar), Qt::LeftButton, {}, grip);
  QTest::mouseMove(plat::WidgetOf(bar), at(dx / 2, dy / 2));
  QTest::mouseMove(plat::WidgetOf(bar), at(dx, dy));
  QTest::mouseRelease(plat::WidgetOf(bar), Qt::LeftButton, {}, at(dx, dy));
}
