#pragma once

#include "store/Records.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QSerialPort;

namespace selva {

struct LoggerLink;
class TComThread;

// One port of the table.
struct SerialPortEntry {
    QString portName;   // as the lists show it: the system's name (ttyUSB0), or the path it was added by
    QString devicePath; // what is opened
    bool addedByPath = false;
    bool open = false;
    // Line settings and time-outs this run last gave the port; the system keeps no time-outs, and some bit
    // rates have no standard code to read back.
    bool settingsKnown = false;
    TDcb dcb;
    TCommTimeouts timeouts;
};

// The machine's serial ports and the one the program has open. The system's list comes from Qt
// (QSerialPortInfo); ports it does not list (pseudo-terminals, a device path typed by the user) are added
// by path and stay in the table for the run.
//
// A port is open either shared (the settings window reads and writes its settings from this thread) or
// exclusively for acquisition, in which case the serial reader (TComThread) owns it until it is closed.
// Only one port is open at a time.
//
// Threads: the window's thread only. The reader's own thread touches the link, never the table.
class SerialPortTable {
public:
    struct SystemPort {
        QString name;
        QString path;
    };
    using Enumerator = std::function<std::vector<SystemPort>()>;

    // `enumerator` lists the system's ports (tests give a list of their own).
    explicit SerialPortTable(Enumerator enumerator = systemPorts);
    ~SerialPortTable();
    SerialPortTable(const SerialPortTable&) = delete;
    SerialPortTable& operator=(const SerialPortTable&) = delete;

    static std::vector<SystemPort> systemPorts();

    // Closes the open port and rebuilds the table: the system's ports, then the ports added by path.
    void Enumerate();
    // The index of the port with this device path, added at the end when it is new.
    int AddPortByPath(const QString& path);

    int count() const { return static_cast<int>(entries_.size()); }
    bool isEmpty() const { return entries_.empty(); }
    const SerialPortEntry& entry(int index) const { return entries_.at(static_cast<std::size_t>(index)); }
    int currentIndex() const { return current_; }
    bool portOpen() const { return portOpen_; }
    // The open port is held by the acquisition's reader and the reader is still reading (it stops on a
    // lost port).
    bool readerRunning() const;
    bool exclusive() const { return reader_ != nullptr; }

    // For acquisition: opens port `index` with the stored line settings and time-outs and starts the
    // reader on `link`. A stored bit rate of 110 means nothing was chosen yet: the port keeps its own line
    // settings, which are copied into `stored` together with a read-total constant of 10 ms and no write
    // time-outs. Throws selva::Error "Wrong port index<n>" or "Error opening port <name>" (followed by the
    // system's reason on a line of its own).
    void OpenExclusive(int index, TLoggerBlock& stored, LoggerLink& link);
    // Opens the port again exclusively with the link and settings of the last exclusive open.
    void ReopenExclusive(int index);

    // For the settings window: opens port `index` keeping its line settings as they are. An index outside
    // the table does nothing (false, no error text); a port that cannot be opened gives false with the
    // system's reason in `error`.
    bool OpenShared(int index, QString* error);
    // The current port's line settings and time-outs. False when no port is open.
    bool ReadSettings(TDcb& dcb, TCommTimeouts& timeouts) const;
    // Writes the stored line settings and time-outs to the stored port, opening it shared for that when it
    // is closed (giving up silently when that fails) and closing it again afterwards. A port the reader
    // holds takes the settings at its next open.
    void ApplyStoredSettings(const TLoggerBlock& stored);

    void CloseCurrent();
    void CloseAll();

private:
    void writeSettings(int index, const TDcb& dcb, const TCommTimeouts& timeouts);

    Enumerator enumerator_;
    std::vector<SerialPortEntry> entries_;
    std::vector<QString> addedPaths_;
    std::unique_ptr<QSerialPort> shared_;
    std::unique_ptr<TComThread> reader_;
    LoggerLink* lastLink_ = nullptr;
    TLoggerBlock* lastStored_ = nullptr;
    int current_ = -1;
    bool portOpen_ = false;
};

} // namespace selva
