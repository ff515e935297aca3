#pragma once

#include "analysis/ui/ChartOutput.h"

#include <QString>

#include <functional>

class QDialog;
class QWidget;

namespace selva {

// The window's modal interactions, replaceable so that tests never block on a dialog.
struct MainDialogs {
    // An information message with an OK button.
    std::function<void(QWidget* parent, const QString& text)> information;
    // An error the user can act on: the warning icon, an OK button.
    std::function<void(QWidget* parent, const QString& text)> warning;
    // A Yes/No question; true for Yes.
    std::function<bool(QWidget* parent, const QString& text)> question;
    // A Yes/No/Cancel question; 0 Yes, 1 No, 2 Cancel (also on Escape).
    std::function<int(QWidget* parent, const QString& text)> askYesNoCancel;
    // A file name from an open (save false) or save dialog; empty when cancelled.
    std::function<QString(QWidget* parent, const QString& title, const QString& filter,
                          const QString& initial, bool save)>
        chooseFile;
    // Several existing files from an open dialog; empty when cancelled.
    std::function<QStringList(QWidget* parent, const QString& title, const QString& filter)> chooseFiles;
    // Shows a modal child window and returns its result (QDialog::exec by default).
    std::function<int(QDialog& dialog)> exec;
    // The export and picture dialogs and their error messages.
    OutputDialogs output;

    static MainDialogs standard();
};

} // namespace selva
