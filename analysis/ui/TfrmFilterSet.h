#pragma once

#include <QDialog>

#include <cstdint>
#include <memory>

namespace Ui {
class TfrmFilterSet;
}

namespace selva {

struct AnalysisState;
class TEditInt;

// "Selvarondine-filter settings": the width of the moving-average window. The field is bound directly to
// AnalysisState::FilterWindow, so a committed width is stored at once (filterWindowStored is emitted);
// "Выход" and Esc close the window. The window computes nothing; the caller recalculates after it closes.
//
// The width is not limited beyond its 3 characters: a width below 1 is stored as typed and the moving
// average then leaves the series unsmoothed.
class TfrmFilterSet : public QDialog {
    Q_OBJECT
public:
    // Takes its background colour and font from `parent` (the analysis window) when one is given.
    explicit TfrmFilterSet(AnalysisState& state, QWidget* parent = nullptr);
    ~TfrmFilterSet() override;

    // Whether FilterWindow now differs from its value when the window opened.
    bool filterWindowChanged() const;

signals:
    void filterWindowStored();

private:
    void edtFrameLenPostCommit(TEditInt* sender);
    void btnExitClick();

    std::unique_ptr<Ui::TfrmFilterSet> ui;
    AnalysisState& state_;
    std::int32_t initialWindow_ = 0;
};

} // namespace selva
