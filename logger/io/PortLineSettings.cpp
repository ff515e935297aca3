#include "logger/io/PortLineSettings.h"

#include <QSerialPort>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace selva {

namespace {

// Bits of the DCB flag word that choose the flow control.
constexpr std::uint32_t fOutxCtsFlow = 1u << 2;
constexpr std::uint32_t fOutX = 1u << 8;
constexpr std::uint32_t fInX = 1u << 9;

QSerialPort::DataBits dataBitsOf(std::uint8_t byteSize)
{
    switch (byteSize) {
    case 5:
        return QSerialPort::Data5;
    case 6:
        return QSerialPort::Data6;
    case 7:
        return QSerialPort::Data7;
    default:
        return QSerialPort::Data8;
    }
}

QSerialPort::Parity parityOf(std::uint8_t parity)
{
    switch (parity) {
    case 1:
        return QSerialPort::OddParity;
    case 2:
        return QSerialPort::EvenParity;
    case 3:
        return QSerialPort::MarkParity;
    case 4:
        return QSerialPort::SpaceParity;
    default:
        return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits stopBitsOf(std::uint8_t stopBits)
{
    switch (stopBits) {
    case 1:
        return QSerialPort::OneAndHalfStop;
    case 2:
        return QSerialPort::TwoStop;
    default:
        return QSerialPort::OneStop;
    }
}

std::uint32_t bitRateOf(speed_t code)
{
    static constexpr struct {
        speed_t code;
        std::uint32_t rate;
    } kRates[] = {
        {B50, 50},         {B75, 75},         {B110, 110},         {B134, 134},       {B150, 150},
        {B200, 200},       {B300, 300},       {B600, 600},         {B1200, 1200},     {B1800, 1800},
        {B2400, 2400},     {B4800, 4800},     {B9600, 9600},       {B19200, 19200},   {B38400, 38400},
        {B57600, 57600},   {B115200, 115200}, {B230400, 230400},   {B460800, 460800}, {B500000, 500000},
        {B576000, 576000}, {B921600, 921600}, {B1000000, 1000000},
    };
    for (const auto& r : kRates)
        if (r.code == code)
            return r.rate;
    return 0;
}

} // namespace

void applyLineSettings(QSerialPort& port, const TDcb& dcb)
{
    // Each setter reports a refusal through its result and the port's error; neither matters here.
    port.setBaudRate(static_cast<qint32>(dcb.BaudRate));
    port.setDataBits(dataBitsOf(dcb.ByteSize));
    port.setParity(parityOf(dcb.Parity));
    port.setStopBits(stopBitsOf(dcb.StopBits));
    if (dcb.Flags & fOutxCtsFlow)
        port.setFlowControl(QSerialPort::HardwareControl);
    else if (dcb.Flags & (fOutX | fInX))
        port.setFlowControl(QSerialPort::SoftwareControl);
    else
        port.setFlowControl(QSerialPort::NoFlowControl);
    port.clearError();
}

bool readSystemLineSettings(const QString& devicePath, TDcb& dcb, QString* error)
{
    const QByteArray path = devicePath.toLocal8Bit();
    const int fd = ::open(path.constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios t{};
    if (fd < 0 || ::tcgetattr(fd, &t) != 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::close(fd);
    if (const std::uint32_t rate = bitRateOf(::cfgetospeed(&t)))
        dcb.BaudRate = rate;
    switch (t.c_cflag & CSIZE) {
    case CS5:
        dcb.ByteSize = 5;
        break;
    case CS6:
        dcb.ByteSize = 6;
        break;
    case CS7:
        dcb.ByteSize = 7;
        break;
    default:
        dcb.ByteSize = 8;
        break;
    }
    if (!(t.c_cflag & PARENB))
        dcb.Parity = 0;
    else if (t.c_cflag & CMSPAR)
        dcb.Parity = (t.c_cflag & PARODD) ? 3 : 4;
    else
        dcb.Parity = (t.c_cflag & PARODD) ? 1 : 2;
    dcb.StopBits = (t.c_cflag & CSTOPB) ? 2 : 0;
    return true;
}

int readWaitMs(const TCommTimeouts& timeouts)
{
    const std::uint64_t total =
        std::uint64_t{timeouts.ReadTotalTimeoutConstant} + timeouts.ReadTotalTimeoutMultiplier;
    if (total == 0)
        return 50;
    return static_cast<int>(std::min<std::uint64_t>(total, 200));
}

int writeWaitMs(const TCommTimeouts& timeouts)
{
    const std::uint64_t total =
        std::uint64_t{timeouts.WriteTotalTimeoutConstant} + timeouts.WriteTotalTimeoutMultiplier;
    if (total == 0)
        return 1000;
    return static_cast<int>(std::min<std::uint64_t>(total, 60'000));
}

} // namespace selva
