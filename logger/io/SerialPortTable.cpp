#include "logger/io/SerialPortTable.h"

#include "common/Error.h"
#include "logger/LoggerLink.h"
#include "logger/io/PortLineSettings.h"
#include "logger/io/TComThread.h"

#include <QSerialPort>
#include <QSerialPortInfo>

namespace selva {

SerialPortTable::SerialPortTable(Enumerator enumerator) : enumerator_(std::move(enumerator))
{
    Enumerate();
}

SerialPortTable::~SerialPortTable()
{
    CloseAll();
}

std::vector<SerialPortTable::SystemPort> SerialPortTable::systemPorts()
{
    std::vector<SystemPort> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports.push_back({info.portName(), info.systemLocation()});
    return ports;
}

void SerialPortTable::Enumerate()
{
    CloseAll();
    entries_.clear();
    for (const SystemPort& p : enumerator_ ? enumerator_() : std::vector<SystemPort>{}) {
        SerialPortEntry e;
        e.portName = p.name;
        e.devicePath = p.path;
        entries_.push_back(e);
    }
    for (const QString& path : addedPaths_) {
        bool listed = false;
        for (const SerialPortEntry& e : entries_)
            listed = listed || e.devicePath == path;
        if (!listed) {
            SerialPortEntry e;
            e.portName = path;
            e.devicePath = path;
            e.addedByPath = true;
            entries_.push_back(e);
        }
    }
}

int SerialPortTable::AddPortByPath(const QString& path)
{
    for (int i = 0; i < count(); ++i)
        if (entries_[static_cast<std::size_t>(i)].devicePath == path)
            return i;
    addedPaths_.push_back(path);
    SerialPortEntry e;
    e.portName = path;
    e.devicePath = path;
    e.addedByPath = true;
    entries_.push_back(e);
    return count() - 1;
}

bool SerialPortTable::readerRunning() const
{
    // The reader publishes a lost port in the link before its thread ends.
    return reader_ != nullptr && lastLink_ != nullptr && lastLink_->state() == LoggerLink::ReaderState::Running;
}

void SerialPortTable::OpenExclusive(int index, TLoggerBlock& stored, LoggerLink& link)
{
    if (index < 0 || index >= count())
        throw Error("Wrong port index" + std::to_string(index));
    if (current_ != index || !exclusive())
        CloseCurrent();
    else if (readerRunning())
        return;
    else
        CloseCurrent(); // the reader stopped on a lost port: start afresh

    SerialPortEntry& e = entries_[static_cast<std::size_t>(index)];
    TComThread::Options o;
    o.portName = e.portName;
    o.devicePath = e.devicePath;
    o.dcb = stored.dcb;
    o.timeouts = stored.timeouts;
    o.adopt = stored.dcb.BaudRate == 110;
    if (o.adopt && e.settingsKnown)
        o.dcb = e.dcb;
    if (o.adopt) {
        o.timeouts = e.timeouts;
        o.timeouts.ReadTotalTimeoutConstant = 10;
        o.timeouts.WriteTotalTimeoutMultiplier = 0;
        o.timeouts.WriteTotalTimeoutConstant = 0;
    }
    link.clearStatus();
    auto reader = std::make_unique<TComThread>(o, link);
    if (!reader->startAndOpen()) {
        const std::string reason = link.failure();
        reader.reset();
        link.clearStatus();
        throw Error("Error opening port " + e.portName.toStdString() + (reason.empty() ? "" : "\n" + reason));
    }
    if (o.adopt) {
        o.dcb = reader->adoptedDcb();
        stored.dcb = o.dcb;
        stored.dcb.DCBlength = TDcb::Size;
        stored.timeouts = o.timeouts;
    }
    e.open = true;
    e.settingsKnown = true;
    e.dcb = o.dcb;
    e.timeouts = o.timeouts;
    reader_ = std::move(reader);
    lastLink_ = &link;
    lastStored_ = &stored;
    current_ = index;
    portOpen_ = true;
}

void SerialPortTable::ReopenExclusive(int index)
{
    if (lastLink_ != nullptr && lastStored_ != nullptr)
        OpenExclusive(index, *lastStored_, *lastLink_);
}

bool SerialPortTable::OpenShared(int index, QString* error)
{
    if (index < 0 || index >= count())
        return false;
    if (current_ != index)
        CloseCurrent();
    SerialPortEntry& e = entries_[static_cast<std::size_t>(index)];
    if (portOpen_ && e.open)
        return true;
    // Qt applies its own line settings when it opens a port: give it the port's current ones, so that
    // opening only to look changes nothing.
    TDcb dcb = e.dcb;
    if (!e.settingsKnown)
        readSystemLineSettings(e.devicePath, dcb);
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(e.devicePath);
    if (!port->open(QIODevice::ReadWrite)) {
        if (error)
            *error = port->errorString();
        portOpen_ = false;
        return false;
    }
    applyLineSettings(*port, dcb);
    e.dcb = dcb;
    e.open = true;
    shared_ = std::move(port);
    current_ = index;
    portOpen_ = true;
    return true;
}

bool SerialPortTable::ReadSettings(TDcb& dcb, TCommTimeouts& timeouts) const
{
    if (!portOpen_ || current_ < 0 || current_ >= count())
        return false;
    const SerialPortEntry& e = entries_[static_cast<std::size_t>(current_)];
    dcb = e.dcb;
    timeouts = e.timeouts;
    if (shared_) {
        // What the port holds now, as far as Qt can tell.
        dcb.BaudRate = static_cast<std::uint32_t>(shared_->baudRate());
        dcb.ByteSize = static_cast<std::uint8_t>(shared_->dataBits());
        switch (shared_->parity()) {
        case QSerialPort::OddParity:
            dcb.Parity = 1;
            break;
        case QSerialPort::EvenParity:
            dcb.Parity = 2;
            break;
        case QSerialPort::MarkParity:
            dcb.Parity = 3;
            break;
        case QSerialPort::SpaceParity:
            dcb.Parity = 4;
            break;
        default:
            dcb.Parity = 0;
            break;
        }
        dcb.StopBits = shared_->stopBits() == QSerialPort::TwoStop          ? 2
                       : shared_->stopBits() == QSerialPort::OneAndHalfStop ? 1
                                                                            : 0;
    }
    return true;
}

void SerialPortTable::writeSettings(int index, const TDcb& dcb, const TCommTimeouts& timeouts)
{
    SerialPortEntry& e = entries_[static_cast<std::size_t>(index)];
    e.dcb = dcb;
    e.timeouts = timeouts;
    e.settingsKnown = true;
    if (shared_ && current_ == index)
        applyLineSettings(*shared_, dcb);
}

void SerialPortTable::ApplyStoredSettings(const TLoggerBlock& stored)
{
    const int index = stored.portIndex;
    if (index < 0 || index >= count())
        return;
    const bool wasOpen = portOpen_ && current_ == index;
    if (!wasOpen && !OpenShared(index, nullptr))
        return;
    writeSettings(index, stored.dcb, stored.timeouts);
    if (!wasOpen)
        CloseCurrent();
}

void SerialPortTable::CloseCurrent()
{
    if (current_ >= 0 && current_ < count()) {
        if (reader_) {
            reader_->requestStop();
            reader_->wait();
            reader_.reset();
        }
        if (shared_) {
            shared_->close();
            shared_.reset();
        }
        entries_[static_cast<std::size_t>(current_)].open = false;
    }
    portOpen_ = false;
    current_ = -1;
}

void SerialPortTable::CloseAll()
{
    CloseCurrent();
    reader_.reset();
    shared_.reset();
    for (SerialPortEntry& e : entries_)
        e.open = false;
}

} // namespace selva
