#pragma once

#include "logger/LoggerLink.h"
#include "store/Records.h"

#include <QSemaphore>
#include <QString>
#include <QThread>

#include <atomic>

namespace selva {

// The serial reader: owns the logger's port for as long as the live display (or a recording of the
// command-line tool) runs. It opens the port in its own thread (Qt serial ports belong to the thread that
// made them), applies the line settings, then reads: report lines are decoded into the link's readings
// and status values, and the command byte the window placed is sent. It takes no lock and never waits
// for the window; the window never waits for it except while it opens and when it stops.
//
// Threads: the owner (the window's thread) calls startAndOpen, requestStop, wait and the destructor; run
// and everything it calls belong to the reader thread; they meet only in the LoggerLink and the stop flag.
class TComThread : public QThread {
    Q_OBJECT
public:
    struct Options {
        QString portName;   // for messages
        QString devicePath; // what is opened
        TDcb dcb;
        TCommTimeouts timeouts;
        // The stored settings were never chosen (bit rate 110): the port keeps its own line settings, which
        // adoptedDcb() reports.
        bool adopt = false;
    };

    TComThread(const Options& options, LoggerLink& link);
    ~TComThread() override; // stops and waits

    // Starts the thread and waits until the port is open (true) or could not be opened (false, with the
    // link's failure text).
    bool startAndOpen();
    void requestStop() { stop_.store(true, std::memory_order_relaxed); }
    // Valid after a successful startAndOpen with `adopt`.
    const TDcb& adoptedDcb() const { return opts_.dcb; }

protected:
    void run() override;

private:
    Options opts_;
    LoggerLink& link_;
    // Only a request: the reader checks it between reads; nothing else hangs on its ordering.
    std::atomic<bool> stop_{false};
    QSemaphore opened_;
};

} // namespace selva
