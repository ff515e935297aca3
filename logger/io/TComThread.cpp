#include "logger/io/TComThread.h"

#include "logger/io/PortLineSettings.h"

#include <QSerialPort>

namespace selva {

TComThread::TComThread(const Options& options, LoggerLink& link) : opts_(options), link_(link) {}

TComThread::~TComThread()
{
    requestStop();
    wait();
}

bool TComThread::startAndOpen()
{
    stop_.store(false, std::memory_order_relaxed);
    link_.setOpening();
    start();
    // The reader releases the semaphore once the port is open or has failed; the link's state was stored
    // before that, and the semaphore orders it for us.
    opened_.acquire();
    return link_.state() == LoggerLink::ReaderState::Running;
}

void TComThread::run()
{
    QSerialPort port;
    port.setPortName(opts_.devicePath);
    if (opts_.adopt)
        readSystemLineSettings(opts_.devicePath, opts_.dcb);
    // Settings are applied after opening, one by one: a device that refuses one of them still opens.
    if (!port.open(QIODevice::ReadWrite)) {
        link_.fail(port.errorString().toStdString());
        opened_.release();
        return;
    }
    applyLineSettings(port, opts_.dcb);
    // What the logger sent while nobody listened is old news for a live display.
    port.clear(QSerialPort::Input);
    link_.setRunning();
    opened_.release();

    const int readWait = readWaitMs(opts_.timeouts);
    const int writeWait = writeWaitMs(opts_.timeouts);
    LineBuffer line;
    char buffer[512];
    while (!stop_.load(std::memory_order_relaxed)) {
        if (port.bytesAvailable() == 0 && !port.waitForReadyRead(readWait)) {
            if (port.error() != QSerialPort::TimeoutError) {
                link_.fail(port.errorString().toStdString());
                return;
            }
            port.clearError();
        }
        const qint64 n = port.read(buffer, sizeof buffer);
        if (n < 0) {
            link_.fail(port.errorString().toStdString());
            return;
        }
        for (qint64 i = 0; i < n; ++i) {
            const auto byte = static_cast<unsigned char>(buffer[i]);
            if (byte == 0)
                continue;
            if (line.append(byte)) {
                link_.apply(decodeLoggerLine(line.line()));
                line.clear();
            }
        }
        unsigned char command = 0;
        if (link_.takeCommand(command)) {
            const char c = static_cast<char>(command);
            if (port.write(&c, 1) != 1 || !port.waitForBytesWritten(writeWait)) {
                link_.fail(port.errorString().toStdString());
                return;
            }
        }
    }
    // A line cut short by the stop is dropped.
    link_.finish();
}

} // namespace selva
