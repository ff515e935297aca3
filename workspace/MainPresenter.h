#pragma once

// The analysis window's rules without the window: what each control and menu item runs and which stages
// of the computation it needs, what an edit clamps or rolls back, the state the window shows (units,
// markers, the shown series, the result texts), opening sources and projects, and whether the project has
// changes to save. The window (analysis/ui/TfrmMain) binds its controls to these calls and refreshes what
// each call returns. Standard C++ only, so every rule is tested without a screen.
//
// Threads: the UI thread. Computations go through `recalculate`, which the window points at its worker
// runner (a cancelled run returns false and leaves the state as it was).

#include "analysis/ChartNavigation.h"
#include "analysis/ThrustAnalysis.h"
#include "workspace/ProjectSession.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace selva {

class Workspace;

// The toggled captions of the analysis window ("Начало тяги", "Конец тяги", "Линия покоя",
// "Линия покоя после", "Средняя тяга"): pressed, the value may be edited (the middle line: it is drawn).
struct MarkerFlags {
    bool start = false;
    bool end = false;
    bool rest = false;
    bool restAfter = false;
    bool middle = false;
};
enum class Marker { Start, End, Rest, RestAfter, Middle };

struct ChartPoint {
    double x = 0, y = 0;
    bool operator==(const ChartPoint&) const = default;
};
using ChartLine = std::vector<ChartPoint>;

// What the window must show anew after a rule ran, in the order it refreshes them.
enum class Show : unsigned {
    Source = 1u << 0,      // source labels, caption, the calculation panel, the noise controls
    Channel = 1u << 1,     // the channel buttons
    Sensors = 1u << 2,     // the sensor list and whether "в ньютонах" is available
    Units = 1u << 3,       // "в ньютонах", the unit labels, "Инверт.", the middle line's value
    Flags = 1u << 4,       // the toggled captions and which value edits are enabled
    StepEdit = 1u << 5,    // "Точность"
    OffsetEdit = 1u << 6,  // the frequency offset
    TimeEdits = 1u << 7,   // start and end of thrust
    Results = 1u << 8,     // the results panel and the chart's texts
    Axes = 1u << 9,        // both axes automatic again
    Chart = 1u << 10,      // the series, every marker and the rest-line edits
    StartMarker = 1u << 11,
    EndMarker = 1u << 12,
    RestLine = 1u << 13,   // the rest line and its edits
    MiddleLine = 1u << 14,
    Filter = 1u << 15,     // the filter button
};
class ShowSet {
public:
    constexpr ShowSet() = default;
    constexpr ShowSet(Show s) : bits_(static_cast<unsigned>(s)) {}
    constexpr bool has(Show s) const { return (bits_ & static_cast<unsigned>(s)) != 0; }
    constexpr bool empty() const { return bits_ == 0; }
    constexpr ShowSet operator|(ShowSet o) const { return ShowSet(bits_ | o.bits_, 0); }
    ShowSet& operator|=(ShowSet o) { return *this = *this | o; }
    constexpr bool operator==(const ShowSet&) const = default;
    static const ShowSet Everything;

private:
    constexpr ShowSet(unsigned bits, int) : bits_(bits) {}
    unsigned bits_ = 0;
};
constexpr ShowSet operator|(Show a, Show b)
{
    return ShowSet(a) | ShowSet(b);
}
inline constexpr ShowSet ShowSet::Everything = ShowSet(~0u, 0);

// Series 1 and the error band for the chart: indices from nearest(viewFrom / step) to
// truncate(viewSpan / step), limited to PointCount - 1, at full resolution.
struct ShownSeries {
    double step = 0;
    std::size_t first = 0;
    std::vector<double> values;
    std::vector<double> up; // value + error (only with the error band)
    std::vector<double> down;
};

// The results panel: general format with 5 significant digits; with errors shown, the impulse, specific
// impulse and maximum thrust are followed by "+/-" and their error with 1 decimal.
struct ResultTexts {
    std::string impSum, impUd, thrustTime, thrustMax, middleThrust, weight;
};

// The rest-line pair (before, after) of the current units: the variables the rest-line edits bind to.
struct RestPair {
    double* before = nullptr;
    double* after = nullptr;
};

// Name of a progress stage for the progress window.
std::string StageName(int stage);
// The chart's result lines from the panel's texts, each cut to 30 characters.
std::vector<std::string> AnnotationResults(const ResultTexts& r);
// The value of the mean line as "Средняя тяга" shows it: rounded to `roundDigits`, 6 significant digits.
std::string MiddleLineText(double value, int roundDigits, char decimalSeparator);

class MainPresenter {
public:
    explicit MainPresenter(Workspace& workspace);

    // Runs the computation stages; false when cancelled. Unset: the analysis's Recalculate here.
    std::function<bool(Stages)> recalculate;

    // ---- the window's own state
    MarkerFlags flags;
    bool newtons = false;        // "в ньютонах" checked
    bool newtonsEnabled = false; // ... and available (the active sensor has a calibration)
    bool invert = true;          // "Инверт."
    bool showDelta = false;      // "Показать ошибку"
    bool sourceOpened = false;   // a source has been opened and computed
    std::string sourceLabel;     // lblFileName: the source as named
    std::string description;     // lblInfo
    std::string caption;         // the window's caption

    // ---- opening and projects (messages go through the workspace's prompts)

    // Opens a source. A file with a project of the same name beside it opens as that project; a damaged
    // project is said to be damaged and the source itself is opened. A source that cannot be opened is
    // said so and the previous one stays.
    ShowSet OpenSource(const std::string& name);
    // Opens the source itself (a project when the name is one) and runs the whole analysis.
    ShowSet OpenSourceOnly(const std::string& name, bool reset);
    // Loads a project. `ok` false when it could not be read (`damaged` tells whether it was damaged).
    ShowSet LoadProject(const std::string& name, bool& ok, bool* damaged = nullptr);
    // The window state a loaded project stores (date, check boxes, axes) for the window to show.
    const MainWindowView& loadedView() const { return loadedView_; }
    // Whether a project was applied since the last call (the window then shows loadedView()).
    bool takeProjectApplied() { return std::exchange(projectApplied_, false); }
    // Saves the project; a name without an extension gets ".proj". `windowPart` carries what only the
    // window knows (date, check boxes, axes, placement). False (after the message) when not written.
    bool SaveProject(const std::string& name, const MainWindowView& windowPart);
    // "Новый проект": no source, no project, no notes; the library and the settings stay.
    ShowSet NewProject();
    // Whether the analysis or its notes changed since the last save, load or opening.
    bool Modified(const MainWindowView& windowPart) const;
    void MarkSaved(const MainWindowView& windowPart);

    // ---- the handlers
    ShowSet RecalculateAll();        // "Пересчитать"; the filter button and settings too
    ShowSet ForcedRecalculation();   // "Принудительно все пересчитать"
    ShowSet ChannelChosen(bool left);
    ShowSet FilterSwitched(bool on);
    StepCheck CheckStep(double candidate) const;
    ShowSet StepCommitted();
    ShowSet StartCommitted();
    ShowSet EndCommitted();
    ShowSet RestCommitted();
    ShowSet ZeroCompensationChanged(bool on); // the box, and a committed offset
    ShowSet SensorChosen(int index);
    ShowSet SensorsEdited();                  // the sensor windows changed the library
    ShowSet CalcSettingsClosed(bool accepted);
    ShowSet UnitsChanged(bool inNewtons);
    ShowSet DeltaChanged(bool shown);
    ShowSet MarkerToggled(Marker which);

    // ---- what is shown
    const std::vector<double>& shownValues() const;
    ShownSeries BuildShownSeries() const;
    double MiddleLineValue() const;
    bool InvertForUnits() const;
    RestPair RestLevels(); // binds the net "after" level to a value of the presenter's own
    // Marker lines over the shown series (lowest/highest its extremes, firstTime/lastTime its span). The
    // start, end and rest line are drawn whenever there is a series; the captions only allow editing.
    ChartLine StartMarker(double lowest, double highest) const;
    ChartLine EndMarker(double lowest, double highest) const;
    ChartLine RestLine(double firstTime, double lastTime);
    ChartLine MiddleLine() const;
    // "Расчет": the results computed anew from the series and times, as the panel shows them.
    ResultTexts ShowResults(char decimalSeparator);
    ResultTexts Results(char decimalSeparator) const;
    // The standard motor figures of the same thrust series (burn time between the 5 % crossings, total
    // impulse, average thrust, class, designation) as caption and value pairs.
    std::vector<std::pair<std::string, std::string>> StandardFigureTexts(char decimalSeparator) const;
    // Which value edits may be edited now.
    bool RestEditable() const { return flags.rest && !newtons; }

private:
    bool run(Stages stages);
    ShowSet afterSensorChange();
    ShowSet afterTimeEdit(bool start);
    ShowSet applyProjectLoad(const ProjectLoadResult& r);
    ShowSet showNoSource();
    std::string snapshot(const MainWindowView& windowPart) const;

    Workspace& ws_;
    double viewSpan_ = 10;
    double builtStep_ = 0;    // the step the series were last built with
    double restNetAfter_ = 0; // the net "after" level the rest-line edit shows in newtons
    MainWindowView loadedView_;
    bool projectApplied_ = false;
    std::string saved_;       // the project as last saved, loaded or started
};

} // namespace selva
