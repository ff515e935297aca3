#pragma once

#include "store/Records.h"
#include "store/ui/AppearanceDialogs.h"

#include <QDialog>
#include <QFont>

#include <functional>
#include <memory>
#include <string>

namespace Ui {
class TfrmImageSet;
}

namespace selva {

class SettingsStore;

// "Настройка изображения": the grids of the chart, the colour and font of the program's windows, the
// data author's name, the chart series options, and schemes (settings files) to load and save.
//
// The window edits working copies: "Установить" stores the grid flags, the window colour, the font (when
// one was chosen here) and the author's name into the settings record, copies the settings into the
// project record and closes with QDialog::Accepted; "Отказ", Esc and closing store nothing. The main
// window then applies the appearance. The series options ("Настройка графиков ...") store their own
// values on their own confirmation (see chartOptionsStored).
//
// The controls show the stored settings when the window is shown and again right after a scheme was
// loaded. The window takes its colour and font from `parent` (the analysis window).
class TfrmImageSet : public QDialog {
    Q_OBJECT
public:
    TfrmImageSet(SettingsStore& store, QWidget* parent = nullptr,
                 AppearanceDialogs dialogs = AppearanceDialogs::standard());
    ~TfrmImageSet() override;

    // Loading and saving a scheme, given the settings file name (extension ".rsr"). By default they only
    // read the file into the settings record (copying it into the project record) or write the record;
    // the main window points them at its own loading and saving of the settings, which also apply a
    // loaded file to the analysis and the window.
    std::function<void(const std::string& fileName)> loadScheme;
    std::function<void(const std::string& fileName)> saveScheme;

    // The series options were confirmed while this window was open: the chart appearance changed even
    // when this window is then cancelled.
    bool chartOptionsStored() const { return chartOptionsStored_; }

    // The font record of a font, keeping the stored character set and colour: face name cut to 30
    // characters, size in points, height as the negative pixel height at 96 pixels an inch, style bits.
    static TFontRecord fontRecordOf(const QFont& font, const TFontRecord& stored);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showStored();
    void showFont();
    void btnFormFonClick();
    void btnFormFontClick();
    void btnFonClick();
    void btnOkClick();
    void btnLoadResClick();
    void btnSaveResClick();
    void commitAuthor();
    QString schemeDialogName() const;

    std::unique_ptr<Ui::TfrmImageSet> ui;
    SettingsStore& store_;
    AppearanceDialogs dialogs_;
    std::string author_; // working copy bound to edtAutorName
    TColor formColor_ = 0;
    QFont font_;
    bool fontChosen_ = false;
    bool chartOptionsStored_ = false;
};

} // namespace selva
