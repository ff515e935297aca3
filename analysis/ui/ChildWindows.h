#pragma once

// The windows the analysis window opens from its menu and chart (image settings, series options, the
// sensor list, the data logger, the sound window) and what they keep for the whole run (the serial port
// table, the sound rings). Each is created when opened and freed when closed; what it changed is handed
// back through the callbacks the analysis window gives.
//
// UI thread only.

#include "analysis/ui/MainDialogs.h"

#include <QString>

#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace selva {

class SerialPortTable;
struct SoundModule;
class Workspace;

class ChildWindows {
public:
    ChildWindows(Workspace& workspace, QWidget& owner, const MainDialogs& dialogs);
    ~ChildWindows();

    // True when the appearance changed (the window then applies it).
    bool ImageSettings(const std::function<void(const std::string&)>& loadScheme,
                       const std::function<void(const std::string&)>& saveScheme);
    bool SeriesOptions();
    // `changed` runs whenever the active sensor or its points changed.
    void SensorList(const std::function<void()>& changed);
    // `open` receives a finished recording to open as the source.
    void Logger(const std::function<void(const QString&)>& open);
    void Sound(const std::function<void(const QString&)>& open);

private:
    Workspace& ws_;
    QWidget& owner_;
    const MainDialogs& dialogs_;
    std::unique_ptr<SerialPortTable> ports_; // made when first used, kept for the whole run
    std::unique_ptr<SoundModule> sound_;
};

} // namespace selva
