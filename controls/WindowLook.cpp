#include "controls/WindowLook.h"

#include <QPalette>
#include <QWidget>

namespace selva {

void takeLookFrom(QWidget* window, const QWidget* source)
{
    if (!window || !source)
        return;
    const QWidget* from = source->window();
    window->setFont(from->font());
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, from->palette().color(QPalette::Window));
    window->setPalette(palette);
}

} // namespace selva
