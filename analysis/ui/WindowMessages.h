#pragma once

// The window speaks Russian: the recording reader and the audio layer raise their errors in English (the
// command-line tool shows them as they are), and the windows show them through this translation.

#include <QString>

#include <string>

namespace selva {

// A message of the core as the window shows it: known English messages in Russian (the file name or
// number they carry kept), everything else as it is.
QString windowMessage(const std::string& coreMessage);

} // namespace selva
