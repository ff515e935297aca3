#include "controls/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

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
    // The stored corner is the frame's; the frame itself is not known before the window is shown, so
    // this much room is kept for a title bar and borders.
    const QSize frame(8, 34);
    const QRect titleBar(r.left(), r.top(), r.width(), 30);
    const QScreen* home = nullptr;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect hit = screen->availableGeometry().intersected(titleBar);
        if (hit.width() >= 100 && hit.height() >= 10) {
            home = screen;
            break;
        }
    }
    if (home == nullptr) {
        home = QGuiApplication::primaryScreen();
        if (home != nullptr)
            r.moveTopLeft(home->availableGeometry().topLeft() + QPoint(20, 20));
    }
    if (home != nullptr) {
        // The whole window on the screen its title bar is on: a window that ran past the bottom edge
        // (another screen size, a resolution changed) comes back with its buttons reachable.
        const QRect area = home->availableGeometry();
        r.setSize(r.size()
                      .boundedTo(area.size() - frame)
                      .expandedTo(w.minimumSize().expandedTo(w.minimumSizeHint())));
        if (r.right() + frame.width() > area.right())
            r.moveRight(area.right() - frame.width());
        if (r.bottom() + frame.height() > area.bottom())
            r.moveBottom(area.bottom() - frame.height());
        r.moveLeft(std::max(r.left(), area.left()));
        r.moveTop(std::max(r.top(), area.top()));
    }
    w.move(r.topLeft());
    w.resize(r.size());
}

} // namespace selva
