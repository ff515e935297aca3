#include "store/ui/TfrmSeriesOpt.h"

#include "ui_TfrmSeriesOpt.h"

#include "store/ui/StoredLook.h"
#include "store/SettingsStore.h"

#include <QColorDialog>

#include <algorithm>

namespace selva {

namespace {

void fillList(QComboBox* box, const auto& names, int stored)
{
    for (const char* name : names)
        box->addItem(QString::fromLatin1(name));
    box->setCurrentIndex(stored);
}

// 0x00BBGGRR of a chosen colour.
TColor storedOf(const QColor& c)
{
    return static_cast<TColor>(c.red()) | (static_cast<TColor>(c.green()) << 8) |
           (static_cast<TColor>(c.blue()) << 16);
}

} // namespace

TfrmSeriesOpt::TfrmSeriesOpt(SettingsStore& store, QWidget* parent, AppearanceDialogs dialogs)
    : QDialog(parent), ui(std::make_unique<Ui::TfrmSeriesOpt>()), store_(store), dialogs_(std::move(dialogs)),
      work_(store.settings.chart)
{
    ui->setupUi(this);
    QPalette pal = palette();
    const QColor back = colorFromStored(store_.settings.formColor);
    if (back.isValid())
        pal.setColor(QPalette::Window, back);
    setPalette(pal);
    setFont(fontFromRecord(store_.settings.formFont));

    const QList<QColor> custom = customColors(work_);
    for (int i = 0; i < custom.size() && i < QColorDialog::customCount(); ++i)
        QColorDialog::setCustomColor(i, custom[i]);

    showValues();

    bindSample(ui->shpDataLine, work_.dataLineColor);
    bindSample(ui->shpDataDot, work_.dataDotColor);
    bindSample(ui->shpDeltaLine, work_.deltaLineColor);
    bindSample(ui->shpBaseLine, work_.baseLineColor);
    bindSample(ui->shpAxis, work_.axisColor);
    bindSample(ui->shpText, work_.textColor);
    bindSample(ui->shpGrid, work_.gridColor);
    bindSample(ui->shpMinorGrid, work_.minorGridColor);
    bindSample(ui->shpBack, work_.backColor);

    connect(ui->btnOk, &QPushButton::clicked, this, &TfrmSeriesOpt::btnOkClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmSeriesOpt::~TfrmSeriesOpt() = default;

QList<QColor> TfrmSeriesOpt::customColors(const TChartAppearance& c)
{
    QList<QColor> colors;
    for (TColor stored : {c.dataLineColor, c.dataDotColor, c.deltaLineColor, c.baseLineColor, c.axisColor,
                          c.textColor, c.gridColor, c.minorGridColor, c.backColor}) {
        const QColor q = colorFromStored(stored);
        colors << (q.isValid() ? q : QColor(Qt::white));
    }
    return colors;
}

void TfrmSeriesOpt::showValues()
{
    // A stored width outside 1 to 10 shows as the nearest end, a stored style outside its list as the
    // list's first entry; "Установить" stores what is shown.
    auto width = [](QSpinBox* spin, std::uint16_t value) {
        spin->setValue(std::clamp<int>(value, spin->minimum(), spin->maximum()));
    };
    fillList(ui->cbxDataLineStyle, PenStyleNames, penStyleIndex(work_.dataLineStyle));
    fillList(ui->cbxDotStyle, DotStyleNames, dotStyleIndex(work_.dataDotStyle));
    fillList(ui->cbxDeltaLineStyle, PenStyleNames, penStyleIndex(work_.deltaLineStyle));
    fillList(ui->cbxBaseLineStyle, PenStyleNames, penStyleIndex(work_.baseLineStyle));
    width(ui->spnDataLineWidth, work_.dataLineWidth);
    width(ui->spnDotHeight, work_.dataDotHeight);
    width(ui->spnDotWidth, work_.dataDotWidth);
    width(ui->spnDeltaLineWidth, work_.deltaLineWidth);
    width(ui->spnBaseLineWidth, work_.baseLineWidth);
    ui->cbxDotsVisible->setChecked(work_.dataDotsVisible);
}

void TfrmSeriesOpt::bindSample(ColorSample* sample, TColor& field)
{
    sample->setColor(colorFromStored(field));
    connect(sample, &ColorSample::released, this, [this, sample, &field] {
        if (const std::optional<QColor> c = dialogs_.chooseColor(this, sample->color())) {
            sample->setColor(*c);
            field = storedOf(*c);
        }
    });
}

void TfrmSeriesOpt::btnOkClick()
{
    auto style = [](QComboBox* box) { return static_cast<std::uint8_t>(std::max(box->currentIndex(), 0)); };
    work_.dataLineStyle = style(ui->cbxDataLineStyle);
    work_.dataDotStyle = style(ui->cbxDotStyle);
    work_.deltaLineStyle = style(ui->cbxDeltaLineStyle);
    work_.baseLineStyle = style(ui->cbxBaseLineStyle);
    work_.dataDotsVisible = ui->cbxDotsVisible->isChecked();
    work_.dataLineWidth = static_cast<std::uint16_t>(ui->spnDataLineWidth->value());
    work_.dataDotHeight = static_cast<std::uint16_t>(ui->spnDotHeight->value());
    work_.dataDotWidth = static_cast<std::uint16_t>(ui->spnDotWidth->value());
    work_.deltaLineWidth = static_cast<std::uint16_t>(ui->spnDeltaLineWidth->value());
    work_.baseLineWidth = static_cast<std::uint16_t>(ui->spnBaseLineWidth->value());
    store_.settings.chart = work_;
    // The project record's twin follows, so that a project save or the settings saved at exit after a
    // project was loaded (both copy the project into the settings) keep what was set here.
    store_.project.chart = work_;
    accept();
}

} // namespace selva
