#include "store/ui/StoredLook.h"

#include <QApplication>
#include <QPalette>

#include <algorithm>

namespace selva {

QColor colorFromStored(TColor color)
{
    if ((color & 0xFF000000u) == 0)
        return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
    if ((color & 0xFFFFFF00u) != 0xFF000000u)
        return QColor();
    const QPalette pal = QApplication::palette();
    switch (color & 0xFF) {
    case 1:
        return QColor(0, 0, 0); // desktop
    case 4:
    case 30:
        return pal.color(QPalette::Window); // menu, menu bar
    case 5:
        return pal.color(QPalette::Base); // window
    case 7:
    case 8:
        return pal.color(QPalette::WindowText); // menu text, window text
    case 12:
        return pal.color(QPalette::Dark); // application workspace
    case 13:
    case 29:
        return pal.color(QPalette::Highlight);
    case 14:
        return pal.color(QPalette::HighlightedText);
    case 15:
        return pal.color(QPalette::Button); // button face
    case 16:
        return pal.color(QPalette::Mid); // button shadow
    case 17:
        return pal.color(QPalette::Disabled, QPalette::Text);
    case 18:
        return pal.color(QPalette::ButtonText);
    case 20:
        return pal.color(QPalette::Light);
    case 21:
        return pal.color(QPalette::Shadow);
    case 22:
        return pal.color(QPalette::Midlight);
    case 23:
        return pal.color(QPalette::ToolTipText);
    case 24:
        return pal.color(QPalette::ToolTipBase);
    case 2:
    case 27:
        return QColor(0x99, 0xB4, 0xD1); // active caption and its gradient
    case 3:
    case 28:
        return QColor(0xBF, 0xCD, 0xDB); // inactive caption and its gradient
    default:
        return pal.color(QPalette::Window);
    }
}

QFont fontFromRecord(const TFontRecord& f)
{
    QFont font = QApplication::font();
    if (!f.name.empty())
        font.setFamily(QString::fromStdString(f.name));
    if (f.size > 0)
        font.setPointSize(std::clamp(f.size, 6, 72));
    else if (f.height != 0)
        font.setPixelSize(std::clamp(f.height < 0 ? -f.height : f.height, 6, 96));
    font.setBold(f.style & fsBold);
    font.setItalic(f.style & fsItalic);
    font.setUnderline(f.style & fsUnderline);
    font.setStrikeOut(f.style & fsStrikeOut);
    return font;
}

Qt::PenStyle penStyleFromStored(std::uint8_t stored)
{
    static const Qt::PenStyle styles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine,
                                          Qt::DashDotDotLine};
    return styles[penStyleIndex(stored)];
}

} // namespace selva
