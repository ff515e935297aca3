#include "controls/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace selva {

TWindowPlacement capturePlacement(const QWidget& w)
{
    const QRect normal = w.isMaximized() || w.isFullScreen() ? w.normalGeometry() : w.geometry();
    const QPoint corner = normal.topLeft() - (w.geometry().topLeft() - w.frameGeometry().topLeft());
    return {corner.y(), corner.x(), normal.width(), normal.height()};
}

void restorePlacement(QWidget& w, const TWindowPlacement& p)
{
    if (p.isEmpty())
        return;
    QRect r(p.left, p.top, p.width > 0 ? p.width : w.width(), p.height > 0 ? p.height : w.height());
    const QRect titleBar(r.left(), r.top(), r.width(), 30);
    bool visible = false;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect hit = screen->availableGeometry().intersected(titleBar);
        visible |= hit.width() >= 100 && hit.height() >= 10;
    }
    if (const QScreen* primary = QGuiApplication::primaryScreen(); !visible && primary) {
        const QRect area = primary->availableGeometry();
        r.setSize(r.size().boundedTo(area.size() - QSize(40, 60)));
        r.moveTopLeft(area.topLeft() + QPoint(20, 20));
    }
    w.move(r.topLeft());
    w.resize(r.size());
}

} // namespace selva
