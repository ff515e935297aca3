#include "analysis/ui/TfrmCompare.h"

#include "analysis/ui/ThrustChart.h"
#include "common/Error.h"
#include "workspace/MainPresenter.h"
#include "workspace/Workspace.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace selva {

// Built in code: a table and three buttons.
TfrmCompare::TfrmCompare(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TfrmCompare"));
    setWindowTitle(QStringLiteral("Сравнение испытаний"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    grdCompare = new QTableWidget(this);
    grdCompare->setObjectName(QStringLiteral("grdCompare"));
    grdCompare->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdCompare->verticalHeader()->hide();
    layout->addWidget(grdCompare);
    lblCompareHint = new QLabel(this);
    lblCompareHint->setObjectName(QStringLiteral("lblCompareHint"));
    lblCompareHint->setWordWrap(true);
    layout->addWidget(lblCompareHint);
    auto* buttons = new QHBoxLayout;
    const auto button = [&](const char* name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        buttons->addWidget(b);
        return b;
    };
    connect(button("btnCompareAdd", QStringLiteral("Добавить ...")), &QPushButton::clicked, this,
            &TfrmCompare::addRequested);
    connect(button("btnCompareClear", QStringLiteral("Очистить")), &QPushButton::clicked, this,
            &TfrmCompare::clearRequested);
    buttons->addStretch();
    connect(button("btnCompareClose", QStringLiteral("Закрыть")), &QPushButton::clicked, this, &QDialog::close);
    layout->addLayout(buttons);
    resize(760, 260);
}

void TfrmCompare::showTable(const ComparisonTable& table, bool curvesShown)
{
    grdCompare->clear();
    grdCompare->setColumnCount(static_cast<int>(table.columns.size()));
    grdCompare->setRowCount(static_cast<int>(table.rows.size()));
    QStringList headers;
    for (const std::string& c : table.columns)
        headers << QString::fromStdString(c);
    grdCompare->setHorizontalHeaderLabels(headers);
    for (std::size_t r = 0; r < table.rows.size(); ++r)
        for (std::size_t c = 0; c < table.rows[r].size(); ++c) {
            auto* item = new QTableWidgetItem(QString::fromStdString(table.rows[r][c]));
            if (c > 0)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            grdCompare->setItem(static_cast<int>(r), static_cast<int>(c), item);
        }
    grdCompare->resizeColumnsToContents();
    lblCompareHint->setText(curvesShown ? QStringLiteral("Кривые испытаний показаны на графике от начала тяги.")
                                        : QStringLiteral("Кривые испытаний видны на графике в ньютонах."));
}

CompareController::CompareController(Workspace& workspace, const MainPresenter& presenter, ThrustChart& chart,
                                     const MainDialogs& dialogs, QWidget& owner)
    : ws_(workspace), presenter_(presenter), chart_(chart), dialogs_(dialogs), owner_(owner)
{
}

CompareController::~CompareController()
{
    if (window_) {
        window_->disconnect(this);
        delete window_;
    }
}

void CompareController::AddTests()
{
    const QStringList files = dialogs_.chooseFiles(
        &owner_, QStringLiteral("Сравнить с ..."),
        QStringLiteral("Испытания (*.frq *.wav *.proj *.eng);;Все файлы (*)"));
    for (const QString& file : files) {
        try {
            tests_.push_back(AnalyseForComparison(file.toStdString(), ws_));
        } catch (const std::exception& e) {
            dialogs_.warning(&owner_, QString::fromStdString(e.what()));
        }
    }
    if (tests_.empty())
        return;
    if (!window_) {
        window_ = new TfrmCompare(&owner_);
        window_->setAttribute(Qt::WA_DeleteOnClose);
        connect(window_, &TfrmCompare::addRequested, this, &CompareController::AddTests);
        connect(window_, &TfrmCompare::clearRequested, this, &CompareController::clear);
        connect(window_, &QObject::destroyed, this, [this] {
            tests_.clear();
            chart_.setOverlays({});
        });
    }
    Refresh();
    window_->show();
    window_->raise();
}

void CompareController::clear()
{
    tests_.clear();
    Refresh();
}

void CompareController::Refresh()
{
    if (!window_)
        return;
    const AnalysisState& s = ws_.state;
    const bool calibrated = ws_.sensors.ActiveSensorIndex != 0;
    std::vector<ComparedTest> all;
    if (s.PointCount > 0)
        all.push_back(CompareEntry(presenter_.sourceLabel, s, calibrated));
    all.insert(all.end(), tests_.begin(), tests_.end());
    const bool curves = presenter_.newtons && !all.empty() && s.PointCount > 0;
    std::vector<ChartOverlay> overlays;
    if (curves) {
        const double align = all.front().alignTime;
        const double zero = s.NetThrust ? s.RestThrustNet : s.RestThrust;
        for (const ComparedTest& test : tests_) {
            ChartOverlay o;
            o.name = QString::fromStdString(test.source);
            for (const CurvePoint& p : test.curve)
                o.points.append(QPointF(p.time + align, p.thrust + zero));
            overlays.push_back(std::move(o));
        }
    }
    chart_.setOverlays(overlays);
    const QString sep = owner_.locale().decimalPoint();
    window_->showTable(BuildComparisonTable(all, sep.isEmpty() ? '.' : sep.at(0).toLatin1()), curves);
}

} // namespace selva
