#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include <functional>
#include <optional>

class QDialog;
class QWidget;

namespace selva {

// The modal dialogs of the appearance windows, replaceable so that tests never wait on one.
struct AppearanceDialogs {
    // The colour dialog preset with a colour; nothing when cancelled.
    std::function<std::optional<QColor>(QWidget* parent, const QColor& initial)> chooseColor;
    // The font dialog preset with a font; nothing when cancelled.
    std::function<std::optional<QFont>(QWidget* parent, const QFont& initial)> chooseFont;
    // An open (save false) or save dialog for a scheme file; empty when cancelled.
    std::function<QString(QWidget* parent, const QString& title, const QString& filter,
                          const QString& initial, bool save)>
        chooseFile;
    // Shows a modal window (the series options from the image settings): QDialog::exec by default.
    std::function<int(QDialog& dialog)> exec;

    static AppearanceDialogs standard();
};

} // namespace selva
