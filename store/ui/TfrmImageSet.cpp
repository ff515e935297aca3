#include "store/ui/TfrmImageSet.h"

#include "ui_TfrmImageSet.h"

#include "store/ui/StoredLook.h"
#include "controls/WindowLook.h"
#include "store/SettingsStore.h"
#include "store/ui/TfrmSeriesOpt.h"

#include <cmath>

namespace selva {

namespace {

const QString SchemeFilter = QStringLiteral("Файл настроек интерфейса (*.rsr)");

} // namespace

TfrmImageSet::TfrmImageSet(SettingsStore& store, QWidget* parent, AppearanceDialogs dialogs)
    : QDialog(parent), ui(std::make_unique<Ui::TfrmImageSet>()), store_(store), dialogs_(std::move(dialogs))
{
    ui->setupUi(this);
    takeLookFrom(this, parent);

    loadScheme = [this](const std::string& name) {
        if (store_.ReadSettingsFile(name) == StoreLoad::Missing)
            return;
        store_.CopySettingsToProject();
        store_.settingsFileName = name;
    };
    saveScheme = [this](const std::string& name) { store_.WriteSettingsFile(name); };

    author_ = store_.settings.authorName;
    ui->edtAutorName->setInputLimit(static_cast<int>(AuthorNameLength));
    ui->edtAutorName->Value(&author_);

    connect(ui->shpFormFon, &ColorSample::released, this, &TfrmImageSet::btnFormFonClick);
    connect(ui->btnFormFon, &QPushButton::clicked, this, &TfrmImageSet::btnFormFonClick);
    connect(ui->btnFormFont, &QPushButton::clicked, this, &TfrmImageSet::btnFormFontClick);
    connect(ui->btnFon, &QPushButton::clicked, this, &TfrmImageSet::btnFonClick);
    connect(ui->btnOk, &QPushButton::clicked, this, &TfrmImageSet::btnOkClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->btnLoadRes, &QPushButton::clicked, this, &TfrmImageSet::btnLoadResClick);
    connect(ui->btnSaveRes, &QPushButton::clicked, this, &TfrmImageSet::btnSaveResClick);
    showStored();
}

TfrmImageSet::~TfrmImageSet() = default;

TFontRecord TfrmImageSet::fontRecordOf(const QFont& font, const TFontRecord& stored)
{
    TFontRecord r = stored;
    r.name = fitRecordText(font.family().toStdString(), FontNameLength);
    double points = font.pointSizeF();
    if (points <= 0)
        points = font.pixelSize() * 72.0 / 96.0;
    r.size = static_cast<std::int32_t>(std::lround(points));
    r.height = -static_cast<std::int32_t>(std::lround(points * 96.0 / 72.0));
    r.style = (font.bold() ? fsBold : 0) | (font.italic() ? fsItalic : 0) |
              (font.underline() ? fsUnderline : 0) | (font.strikeOut() ? fsStrikeOut : 0);
    return r;
}

void TfrmImageSet::showEvent(QShowEvent* event)
{
    showStored();
    QDialog::showEvent(event);
}

void TfrmImageSet::showStored()
{
    const TSettingsRecord& s = store_.settings;
    ui->cbxGridX1->setChecked(s.grid.horizontal);
    ui->cbxGridX2->setChecked(s.grid.horizontalMinor);
    ui->cbxGridY1->setChecked(s.grid.vertical);
    ui->cbxGridY2->setChecked(s.grid.verticalMinor);
    formColor_ = s.formColor;
    ui->shpFormFon->setColor(colorFromStored(formColor_));
    font_ = fontFromRecord(s.formFont);
    fontChosen_ = false;
    showFont();
}

void TfrmImageSet::showFont()
{
    ui->lblFontSample->setFont(font_);
    ui->lblFontSample->setText(font_.family());
}

void TfrmImageSet::btnFormFonClick()
{
    if (const std::optional<QColor> c = dialogs_.chooseColor(this, ui->shpFormFon->color())) {
        ui->shpFormFon->setColor(*c);
        formColor_ = static_cast<TColor>(c->red()) | (static_cast<TColor>(c->green()) << 8) |
                     (static_cast<TColor>(c->blue()) << 16);
    }
}

void TfrmImageSet::btnFormFontClick()
{
    if (const std::optional<QFont> f = dialogs_.chooseFont(this, font_)) {
        font_ = *f;
        fontChosen_ = true;
        showFont();
    }
}

void TfrmImageSet::btnFonClick()
{
    TfrmSeriesOpt options(store_, this, dialogs_);
    if (dialogs_.exec(options) == QDialog::Accepted)
        chartOptionsStored_ = true;
}

void TfrmImageSet::commitAuthor()
{
    ui->edtAutorName->Commit();
    store_.settings.authorName = fitRecordText(author_, AuthorNameLength);
}

void TfrmImageSet::btnOkClick()
{
    TSettingsRecord& s = store_.settings;
    s.grid.horizontal = ui->cbxGridX1->isChecked();
    s.grid.horizontalMinor = ui->cbxGridX2->isChecked();
    s.grid.vertical = ui->cbxGridY1->isChecked();
    s.grid.verticalMinor = ui->cbxGridY2->isChecked();
    s.formColor = formColor_;
    // A font the user did not choose here stays as stored (a Qt font does not carry every field of the
    // record, so a round trip through it would change them).
    if (fontChosen_)
        s.formFont = fontRecordOf(font_, s.formFont);
    commitAuthor();
    store_.CopySettingsToProject();
    accept();
}

QString TfrmImageSet::schemeDialogName() const
{
    return QString::fromStdString(store_.settingsFileName.empty() ? store_.resolveSettingsName({})
                                                                  : store_.settingsFileName);
}

void TfrmImageSet::btnLoadResClick()
{
    const QString chosen =
        dialogs_.chooseFile(this, QStringLiteral("Загрузить схему"), SchemeFilter, schemeDialogName(), false);
    if (chosen.isEmpty())
        return;
    loadScheme(changeFileExt(chosen.toStdString(), ".rsr"));
    // The loaded scheme, author included, is what the window shows now.
    author_ = store_.settings.authorName;
    ui->edtAutorName->Value(&author_);
    showStored();
}

void TfrmImageSet::btnSaveResClick()
{
    commitAuthor();
    const QString chosen =
        dialogs_.chooseFile(this, QStringLiteral("Сохранить схему"), SchemeFilter, schemeDialogName(), true);
    if (chosen.isEmpty())
        return;
    saveScheme(changeFileExt(chosen.toStdString(), ".rsr"));
}

} // namespace selva
