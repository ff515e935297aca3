#pragma once

#include "store/Records.h"

#include <QString>

class QSerialPort;

namespace selva {

// The stored line settings (DCB layout) and time-outs (COMMTIMEOUTS layout) against Qt SerialPort.

// Sets bit rate, data bits, parity, stop bits and flow control on `port`, open or not (a closed port takes
// them when it opens). A setting the device refuses is skipped: some devices (pseudo-terminals) accept
// only a part of them, and the logger still works over the rest. Clears the port's error afterwards.
void applyLineSettings(QSerialPort& port, const TDcb& dcb);

// The port's own line settings as the system keeps them between programs, read without changing them.
// Fields the system does not know (a bit rate without a standard code) keep their values in `dcb`.
// False when the device cannot be opened for reading its settings.
bool readSystemLineSettings(const QString& devicePath, TDcb& dcb, QString* error = nullptr);

// How long the reader waits for a byte (ms): the read-total constant plus one byte's multiplier, and
// 50 ms when both are 0 (which would mean "wait for ever"); at most 200 ms, so that the reader notices a
// stop request promptly.
int readWaitMs(const TCommTimeouts& timeouts);
// How long a command byte may take to go out (ms): the write-total constant plus one byte's multiplier,
// one second when both are 0.
int writeWaitMs(const TCommTimeouts& timeouts);

} // namespace selva
