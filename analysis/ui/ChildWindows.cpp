#include "analysis/ui/ChildWindows.h"

#include "logger/io/SerialPortTable.h"
#include "logger/ui/TfrmAutoRecSet.h"
#include "logger/ui/TfrmData.h"
#include "sensors/ui/TfrmNewSensor.h"
#include "sound/SoundModule.h"
#include "sound/ui/TfrmSound.h"
#include "store/ui/TfrmImageSet.h"
#include "store/ui/TfrmSeriesOpt.h"
#include "workspace/Workspace.h"

namespace selva {

ChildWindows::ChildWindows(Workspace& workspace, QWidget& owner, const MainDialogs& dialogs)
    : ws_(workspace), owner_(owner), dialogs_(dialogs)
{
}

ChildWindows::~ChildWindows() = default;

bool ChildWindows::ImageSettings(const std::function<void(const std::string&)>& loadScheme,
                                 const std::function<void(const std::string&)>& saveScheme)
{
    TfrmImageSet w(ws_.store, &owner_);
    w.loadScheme = loadScheme;
    w.saveScheme = saveScheme;
    // The series options confirmed from inside it changed the chart even when this window is cancelled.
    return dialogs_.exec(w) == QDialog::Accepted || w.chartOptionsStored();
}

bool ChildWindows::SeriesOptions()
{
    TfrmSeriesOpt w(ws_.store, &owner_);
    return dialogs_.exec(w) == QDialog::Accepted;
}

void ChildWindows::SensorList(const std::function<void()>& changed)
{
    TfrmNewSensor w(ws_.sensors, ws_.store, changed, &owner_);
    dialogs_.exec(w);
}

void ChildWindows::Logger(const std::function<void(const QString&)>& open)
{
    if (!ports_)
        ports_ = std::make_unique<SerialPortTable>();
    TfrmData w(ws_.store, *ports_, open, &owner_);
    w.prompts.saveOptions = ws_.SaveOptionsFor(SaveWhat::Recording);
    dialogs_.exec(w);
}

void ChildWindows::Sound(const std::function<void(const QString&)>& open)
{
    if (!sound_)
        sound_ = std::make_unique<SoundModule>();
    TfrmSound w(ws_.store, ws_.sensors, *sound_, &owner_);
    w.onAutoRecordSettings = [this, &w] {
        TfrmAutoRecSet settings(ws_.store, &w);
        dialogs_.exec(settings);
    };
    w.onRecordingSaved = open;
    w.saveTargetCheck = [this](const std::string& target) {
        return ws_.CheckSaveTarget(target, SaveWhat::Recording);
    };
    dialogs_.exec(w);
}

} // namespace selva
