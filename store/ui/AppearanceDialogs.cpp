#include "store/ui/AppearanceDialogs.h"

#include <QColorDialog>
#include <QDialog>
#include <QFileDialog>
#include <QFontDialog>

namespace selva {

AppearanceDialogs AppearanceDialogs::standard()
{
    AppearanceDialogs d;
    d.chooseColor = [](QWidget* parent, const QColor& initial) -> std::optional<QColor> {
        const QColor c = QColorDialog::getColor(initial, parent);
        return c.isValid() ? std::optional<QColor>(c) : std::nullopt;
    };
    d.chooseFont = [](QWidget* parent, const QFont& initial) -> std::optional<QFont> {
        bool ok = false;
        const QFont f = QFontDialog::getFont(&ok, initial, parent);
        return ok ? std::optional<QFont>(f) : std::nullopt;
    };
    d.chooseFile = [](QWidget* parent, const QString& title, const QString& filter, const QString& initial,
                      bool save) {
        return save ? QFileDialog::getSaveFileName(parent, title, initial, filter)
                    : QFileDialog::getOpenFileName(parent, title, initial, filter);
    };
    d.exec = [](QDialog& dialog) { return dialog.exec(); };
    return d;
}

} // namespace selva
