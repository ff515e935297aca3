#include "sensors/ui/TfrmEditSensor.h"

#include "ui_TfrmEditSensor.h"

#include "common/Format.h"
#include "sensors/ui/DrawSensor.h"
#include "sensors/ui/TfrmSensorCurve.h"
#include "store/SettingsStore.h"
#include "store/ui/StoredLook.h"

#include <QColorDialog>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <algorithm>
#include <cstring>

namespace selva {

namespace {

constexpr int ColourColumn = 3;

QString qs(const std::string& s)
{
    return QString::fromStdString(s);
}

// Grid numbers: general format with 7 significant digits and the locale's decimal separator.
QString gridNumber(double x)
{
    const QString point = QLocale().decimalPoint();
    const char sep =
        point.size() == 1 && point.at(0).unicode() < 0x80 ? static_cast<char>(point.at(0).unicode()) : '.';
    return qs(formatGeneral(x, 7, sep));
}

// A colour as it is painted: solid, or a forward-diagonal hatch for no colour.
QBrush colourBrush(std::uint32_t stored, const QColor& hatch)
{
    const QColor c = colorFromStored(stored);
    if (stored == TSegmentFormula::NoColour || !c.isValid())
        return QBrush(hatch, Qt::FDiagPattern);
    return QBrush(c);
}

// Paints the colour column with its swatch brush whether the row is selected or not.
class ColourCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        painter->fillRect(option.rect, option.palette.color(QPalette::Base));
        painter->fillRect(option.rect.adjusted(1, 1, -1, -1), index.data(Qt::BackgroundRole).value<QBrush>());
    }
};

// The page of a type with a formula: linear 0 … logariphmic 4.
int pageOf(TFormulaType type)
{
    return static_cast<int>(type) - static_cast<int>(TFormulaType::linear);
}

bool hasFormula(TFormulaType type)
{
    return static_cast<int>(NormalizedFormulaType(type)) >= static_cast<int>(TFormulaType::linear);
}

} // namespace

TfrmEditSensor::TfrmEditSensor(SensorLibrary& library, int sensorIndex, const SettingsStore& store,
                               std::function<void()> activeSensorChanged, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfrmEditSensor>()), editor_(library, sensorIndex),
      store_(store)
{
    ui->setupUi(this);
    applySettingsLook(this, store.settings);
    editor_.onActiveSensorChanged = std::move(activeSensorChanged);

    dlgColor = new QColorDialog(this);
    dlgColor->setObjectName(QStringLiteral("dlgColor"));
    dlgColor->setOption(QColorDialog::DontUseNativeDialog);

    auto* grid = ui->sgrdData;
    grid->setColumnCount(4);
    grid->setHorizontalHeaderLabels({QStringLiteral("Частота (Гц)"), QStringLiteral("Тяга (Н)"),
                                     QStringLiteral("Зависимость"), QStringLiteral("Цвет")});
    // The columns are at least as wide as their captions in the header's (bold, when a row is selected)
    // font, so that no caption is cut in a larger system font.
    QFont headerFont = grid->horizontalHeader()->font();
    headerFont.setBold(true);
    const QFontMetrics header(headerFont);
    const int widths[] = {71, 77, 79, 32};
    int total = 0;
    for (int c = 0; c < 4; ++c) {
        const int caption = header.horizontalAdvance(grid->horizontalHeaderItem(c)->text()) + 12;
        grid->setColumnWidth(c, std::max(widths[c], caption));
        total += grid->columnWidth(c);
    }
    grid->verticalHeader()->setVisible(false);
    grid->verticalHeader()->setDefaultSectionSize(18);
    grid->setItemDelegateForColumn(ColourColumn, new ColourCellDelegate(grid));
    grid->setMinimumWidth(total + grid->verticalScrollBar()->sizeHint().width() + 4);
    grid->installEventFilter(this);

    ui->imgCurve->setFixedImageSize(337, 249);
    ui->imgFormul->setFixedImageSize(649, 25);
    for (QWidget* w : {static_cast<QWidget*>(ui->pnlAprox), static_cast<QWidget*>(ui->pcFormul),
                       static_cast<QWidget*>(ui->imgFormul)}) {
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        w->setSizePolicy(policy);
    }

    // The reference formulas of the five pages.
    const std::pair<SensorImage*, TFormulaType> pages[] = {{ui->imgLin, TFormulaType::linear},
                                                           {ui->imgPoly, TFormulaType::polynom},
                                                           {ui->imgPow, TFormulaType::powered},
                                                           {ui->imgExp, TFormulaType::exponential},
                                                           {ui->imgLog, TFormulaType::logariphmic}};
    for (const auto& [image, type] : pages) {
        image->setFixedImageSize(420, 25);
        QPainter painter(&image->image());
        painter.setFont(font());
        painter.setBrush(palette().color(QPalette::Window));
        painter.setPen(palette().color(QPalette::WindowText));
        TSegmentFormula formula;
        formula.type = type;
        DrawFormula(painter, image->image().rect(), formula, true);
    }

    // Seven significant digits, as the grid shows them, and no rounding to whole units: that would show
    // 8600.5 Hz as 8601 and a coefficient of -0.25 as 0.
    for (TEditFloat* edit : {ui->edtFreq, ui->edtThrust}) {
        edit->setPrecision(7);
        edit->setDigits(18);
    }
    ui->edtFreq->Value(&frequency_);
    ui->edtThrust->Value(&thrust_);
    ui->edtFreq->PostCommit = [this](TEditFloat*) { edtFreqPostCommit(); };
    ui->edtThrust->PostCommit = [this](TEditFloat*) { edtThrustPostCommit(); };
    coefficientFields_ = {{ui->edtA, 0},   {ui->edtB, 1},  {ui->edtA0, 0}, {ui->edtA1, 1}, {ui->edtA2, 2},
                          {ui->edtA3, 3},  {ui->edtA4, 4}, {ui->edtA5, 5}, {ui->edtAp, 0}, {ui->edtBp, 1},
                          {ui->edtP, 2},   {ui->edtAe, 0}, {ui->edtBe, 1}, {ui->edtPe, 2}, {ui->edtAln, 0},
                          {ui->edtBln, 1}, {ui->edtPln, 2}};
    for (const auto& [edit, k] : coefficientFields_) {
        edit->setPrecision(7);
        edit->setDigits(18);
        edit->Value(&coefficients_[static_cast<std::size_t>(k)]);
        edit->PostCommit = [this](TEditFloat* sender) { coefficientPostCommit(sender); };
    }

    connect(ui->sgrdData, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int, int) { sgrdDataSelect(row); });
    connect(ui->cbxFormulType, &QComboBox::activated, this, &TfrmEditSensor::cbxFormulTypeChange);
    connect(ui->pcFormul, &QTabWidget::currentChanged, this, &TfrmEditSensor::pcFormulChange);
    connect(ui->btnColor, &QPushButton::clicked, this, &TfrmEditSensor::btnColorClick);
    connect(ui->sbtnClearColor, &QToolButton::clicked, this, &TfrmEditSensor::sbtnClearColorClick);
    connect(ui->btnAdd, &QPushButton::clicked, this, &TfrmEditSensor::btnAddClick);
    connect(ui->btnDel, &QPushButton::clicked, this, &TfrmEditSensor::btnDelClick);
    connect(ui->btnExit, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->imgCurve, &SensorImage::clicked, this, &TfrmEditSensor::imgCurveClick);
    connect(ui->imgCurve, &SensorImage::doubleClicked, this, &TfrmEditSensor::imgCurveDblClick);

    // Activation with the edited sensor.
    setWindowTitle(QStringLiteral("Изменение данных датчика: ") + qs(editor_.sensor().name));
    const std::string name = editor_.sensor().name.substr(0, sizeof nameBuffer_ - 1);
    std::memcpy(nameBuffer_, name.c_str(), name.size() + 1);
    ui->edtName->Value(nameBuffer_, sizeof nameBuffer_);
    ui->edtName->PostCommit = [this](TEditPchar*) { edtNamePostCommit(); };
    SharedCurveCache().Invalidate();
    editor_.Activate();
    FillGrid();
    selectPoint(editor_.PointCount() > 0 ? 0 : -1);
}

TfrmEditSensor::~TfrmEditSensor() = default;

void TfrmEditSensor::fillGridRow(int p)
{
    const TCalibPoint& pt = editor_.point(p);
    const QString texts[] = {gridNumber(pt.frequency), gridNumber(pt.thrust),
                             QString::fromLatin1(FormulaTypeName(pt.formula.type)), QString()};
    for (int c = 0; c < 4; ++c) {
        QTableWidgetItem* item = ui->sgrdData->item(p, c);
        if (!item) {
            item = new QTableWidgetItem;
            ui->sgrdData->setItem(p, c, item);
        }
        item->setText(texts[c]);
    }
    const TSegmentFormula inForce = ResolveSegmentFormula(editor_.calibration(), p);
    ui->sgrdData->item(p, ColourColumn)
        ->setData(Qt::BackgroundRole, colourBrush(inForce.colour, palette().color(QPalette::WindowText)));
}

void TfrmEditSensor::FillGrid()
{
    filling_ = true;
    ui->sgrdData->setRowCount(editor_.PointCount());
    for (int p = 0; p < editor_.PointCount(); ++p)
        fillGridRow(p);
    filling_ = false;
}

// Selects point p in the grid, which shows it in the fields (also when the row stays the same).
void TfrmEditSensor::selectPoint(int p)
{
    if (p < 0 || p >= editor_.PointCount()) {
        point_ = -1;
        return;
    }
    filling_ = true;
    ui->sgrdData->setCurrentCell(p, 0);
    filling_ = false;
    sgrdDataSelect(p);
}

void TfrmEditSensor::sgrdDataSelect(int row)
{
    if (filling_ || row < 0 || row >= editor_.PointCount())
        return;
    point_ = row;
    const TCalibPoint& pt = editor_.point(row);
    frequency_ = pt.frequency;
    thrust_ = pt.thrust;
    ui->edtFreq->Value(&frequency_);
    ui->edtThrust->Value(&thrust_);
    refreshSwatch();
    refreshCoefficientFields();
    ui->cbxFormulType->setCurrentIndex(static_cast<int>(NormalizedFormulaType(pt.formula.type)));
    redrawFormula();
    ui->spnDots->setRange(1, std::max(1, editor_.PointCount() - row));
    ui->spnDots->setValue(1);
    const bool formula = hasFormula(pt.formula.type);
    if (formula)
        selectPage(pt.formula.type);
    showFormulaControls(formula);
    redrawCurve();
}

void TfrmEditSensor::showFormulaControls(bool visible)
{
    ui->pnlAprox->setVisible(visible);
    ui->pcFormul->setVisible(visible);
    ui->imgFormul->setVisible(visible);
}

void TfrmEditSensor::selectPage(TFormulaType type)
{
    settingPage_ = true;
    ui->pcFormul->setCurrentIndex(pageOf(NormalizedFormulaType(type)));
    settingPage_ = false;
}

void TfrmEditSensor::refreshSwatch()
{
    QPixmap swatch(25, 17);
    swatch.fill(palette().color(QPalette::Base));
    QPainter painter(&swatch);
    painter.fillRect(swatch.rect(), colourBrush(editor_.point(point_).formula.colour,
                                                palette().color(QPalette::WindowText)));
    painter.end();
    ui->shpColor->setPixmap(swatch);
}

void TfrmEditSensor::refreshCoefficientFields()
{
    coefficients_ = editor_.point(point_).formula.c;
    for (const auto& field : coefficientFields_)
        field.first->Value(&coefficients_[static_cast<std::size_t>(field.second)]);
}

void TfrmEditSensor::redrawCurve()
{
    QImage& image = ui->imgCurve->image();
    const CurveLook look = CurveLook::from(store_.settings.chart);
    // Points deleted down to one leave no range: the picture must not go on showing them.
    image.fill(look.background);
    QPainter painter(&image);
    painter.setFont(font());
    DrawSensorCurve(painter, image.width(), image.height(), editor_.calibration(), true, point_, look);
    painter.end();
    ui->imgCurve->update();
}

void TfrmEditSensor::redrawFormula()
{
    if (point_ < 0)
        return;
    QImage& image = ui->imgFormul->image();
    QPainter painter(&image);
    painter.setFont(font());
    painter.setBrush(palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::WindowText));
    DrawFormula(painter, image.rect(), editor_.point(point_).formula, false);
    painter.end();
    ui->imgFormul->update();
}

// The curve shows changed data: its cache is refilled and it is drawn again.
void TfrmEditSensor::curveChanged()
{
    SharedCurveCache().Invalidate();
    redrawCurve();
}

void TfrmEditSensor::edtNamePostCommit()
{
    editor_.SetName(nameBuffer_);
    setWindowTitle(QStringLiteral("Изменение данных датчика: ") + qs(editor_.sensor().name));
}

void TfrmEditSensor::edtFreqPostCommit()
{
    if (point_ < 0)
        return;
    const int p = editor_.SetFrequency(point_, frequency_);
    FillGrid();
    SharedCurveCache().Invalidate();
    selectPoint(p);
}

void TfrmEditSensor::edtThrustPostCommit()
{
    if (point_ < 0)
        return;
    editor_.SetThrust(point_, thrust_);
    fillGridRow(point_);
    curveChanged();
}

void TfrmEditSensor::coefficientPostCommit(TEditFloat* sender)
{
    if (point_ < 0)
        return;
    for (const auto& [edit, k] : coefficientFields_) {
        if (edit != sender)
            continue;
        editor_.SetCoefficient(point_, k, coefficients_[static_cast<std::size_t>(k)]);
        // Fields of other pages that show the same coefficient follow.
        for (const auto& other : coefficientFields_)
            if (other.second == k && other.first != sender)
                other.first->Refresh();
        break;
    }
    redrawFormula();
    curveChanged();
}

void TfrmEditSensor::cbxFormulTypeChange(int index)
{
    if (point_ < 0 || index < 0)
        return;
    const SensorEditor::TypeChange change = editor_.SetFormulaType(point_, FormulaTypeFromCode(index));
    const TFormulaType type = NormalizedFormulaType(editor_.point(point_).formula.type);
    ui->cbxFormulType->setCurrentIndex(static_cast<int>(type));
    if (change == SensorEditor::TypeChange::unchanged)
        return;
    // The type cell of this row, and the colour cells of the rows whose formula in force follows it.
    for (int p = point_; p < editor_.PointCount(); ++p)
        fillGridRow(p);
    if (change == SensorEditor::TypeChange::constantSet)
        refreshCoefficientFields();
    if (hasFormula(type))
        selectPage(type);
    showFormulaControls(hasFormula(type));
    redrawFormula();
    curveChanged();
}

void TfrmEditSensor::pcFormulChange(int page)
{
    if (settingPage_ || page < 0)
        return;
    const int index = page + static_cast<int>(TFormulaType::linear);
    ui->cbxFormulType->setCurrentIndex(index);
    cbxFormulTypeChange(index);
}

void TfrmEditSensor::btnColorClick()
{
    if (point_ < 0)
        return;
    const std::uint32_t stored = editor_.point(point_).formula.colour;
    const QColor current = colorFromStored(stored);
    dlgColor->setCurrentColor(stored != TSegmentFormula::NoColour && current.isValid() ? current : Qt::white);
    if (dlgColor->exec() != QDialog::Accepted)
        return;
    const QColor c = dlgColor->selectedColor();
    if (!c.isValid())
        return;
    const std::uint32_t chosen = static_cast<std::uint32_t>(c.red()) |
                                 static_cast<std::uint32_t>(c.green()) << 8 |
                                 static_cast<std::uint32_t>(c.blue()) << 16;
    if (!editor_.SetColour(point_, chosen))
        return;
    refreshSwatch();
    for (int p = point_; p < editor_.PointCount(); ++p)
        fillGridRow(p);
    curveChanged();
}

void TfrmEditSensor::sbtnClearColorClick()
{
    if (point_ < 0 || !editor_.ClearColour(point_))
        return;
    refreshSwatch();
    for (int p = point_; p < editor_.PointCount(); ++p)
        fillGridRow(p);
    curveChanged();
}

void TfrmEditSensor::btnAddClick()
{
    const int p = editor_.AddPoint();
    SharedCurveCache().Invalidate();
    FillGrid();
    selectPoint(p);
    ui->edtFreq->setFocus();
    ui->edtFreq->selectAll();
}

void TfrmEditSensor::btnDelClick()
{
    if (point_ < 0)
        return;
    const int p = editor_.DeletePoint(point_);
    if (p < 0)
        return;
    SharedCurveCache().Invalidate();
    FillGrid();
    selectPoint(p);
}

void TfrmEditSensor::imgCurveClick(QPoint position)
{
    double frequency = 0, thrust = 0;
    const int k =
        HitTestSensorCurve(editor_.calibration(), ui->imgCurve->image().width(),
                           ui->imgCurve->image().height(), position.x(), position.y(), SharedCurveCache(),
                           CurveLook::from(store_.settings.chart).dataLineRgb, frequency, thrust);
    if (k >= 0)
        selectPoint(k);
}

void TfrmEditSensor::imgCurveDblClick()
{
    TfrmSensorCurve curve(editor_.sensor(), point_, store_, this);
    curve.exec();
    SharedCurveCache().Invalidate();
    redrawCurve();
}

bool TfrmEditSensor::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->sgrdData && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool plain =
            (key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) == 0;
        if (plain && key->key() == Qt::Key_Insert) {
            btnAddClick();
            return true;
        }
        if (plain && key->key() == Qt::Key_Delete) {
            btnDelClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace selva
