#pragma once

// "Сравнить с ...": the table of the compared tests (the analysis first, each added test, the mean and
// the standard deviation of each figure). It stays open beside the analysis window; the curves of the
// tests are drawn on the chart while it is open.

#include "analysis/ui/MainDialogs.h"
#include "workspace/Comparison.h"

#include <QDialog>
#include <QPointer>

class QLabel;
class QTableWidget;

namespace selva {

class MainPresenter;
class ThrustChart;
class Workspace;

class TfrmCompare : public QDialog {
    Q_OBJECT
public:
    explicit TfrmCompare(QWidget* parent = nullptr);

    void showTable(const ComparisonTable& table, bool curvesShown);

signals:
    void addRequested();
    void clearRequested();

private:
    QTableWidget* grdCompare = nullptr;
    QLabel* lblCompareHint = nullptr;
};

// What "Сравнить с ..." does for the analysis window: asks for tests, analyses each in a workspace of its
// own, keeps them, draws their curves over the chart (in newtons, aligned at the analysis's start of
// thrust, lifted to its zero line) and shows the table while its window is open.
class CompareController : public QObject {
    Q_OBJECT
public:
    CompareController(Workspace& workspace, const MainPresenter& presenter, ThrustChart& chart,
                      const MainDialogs& dialogs, QWidget& owner);
    // Closes the table window (the analysis window deletes the controller before its chart).
    ~CompareController() override;

    // "Сравнить с ...": choose tests and add them.
    void AddTests();
    // The analysis or its units changed: the curves and the table follow.
    void Refresh();

private:
    void clear();

    Workspace& ws_;
    const MainPresenter& presenter_;
    ThrustChart& chart_;
    const MainDialogs& dialogs_;
    QWidget& owner_;
    std::vector<ComparedTest> tests_;
    QPointer<TfrmCompare> window_;
};

} // namespace selva
