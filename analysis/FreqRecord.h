#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace selva {

// A frequency record: a ".frq" text file of sensor frequencies at a fixed step.
//
//   line 1   FREQ                      (any letter case, nothing else on the line)
//   line 2   name of the source        (ignored)
//   line 3   number of readings        (an integer; replaced by the counted data lines)
//   line 4   step in seconds           (a number with a point)
//   ...      any lines, normally "---------------"
//   START    (any letter case) ends the header
//   then one reading per line, a number with a point
//
// The record is not held in memory: the file stays open while the record is loaded, the readings are
// read one by one in file order (First, then Next while not AtEnd), and going back rewinds the file and
// reads the header again. Lines may end in CR LF, LF or CR; blank lines at the very end of the file are
// not counted as lines.
//
// Numbers always use a point, whatever the locale. A malformed count, step or reading never yields a
// silently wrong record: LoadFromFile checks every data line and throws selva::Error naming the file and
// the line. A step must be positive, with a rate that fits in 32 bits (so above about 4.7e-10 s), and at
// most MaxSampleStep; a reading must be a finite number within single precision. A count on line 3 that
// is not the number of readings is taken as the number of readings, and said in `Warning`.
//
// Threads: one object is shared by the analysis; only the thread that runs the computation uses it.
class TFreq {
public:
    TFreq();
    ~TFreq();
    TFreq(const TFreq&) = delete;
    TFreq& operator=(const TFreq&) = delete;

    // Reads a frequency file. False when the file does not exist, is not a regular file (a pipe, a device)
    // or cannot be opened, its first line is not FREQ, or no line follows START. Throws selva::Error for a
    // malformed count, step or reading. On success the file stays open positioned on the first reading and
    // Loaded is set. A failed load leaves the record that was loaded before untouched and usable.
    bool LoadFromFile(const std::string& fileName);

    // The longest step a record may have: one reading an hour. A longer one is refused as a malformed
    // step (a step of 1e30 s would describe five readings as 5e30 seconds).
    static constexpr double MaxSampleStep = 3600;

    // Positions on the first reading and returns it; reads nothing when already there.
    float First();
    // The reading after the current one; 0 without reading anything when the current one is the last.
    // Throws selva::Error when the file changed under the record and a line no longer reads.
    float Next();
    // True when the current reading is the last one.
    bool AtEnd() const { return LineIndex >= LineCount - 1; }

    // "Mono 100 Hz 1234 records 12.34 Sec".
    std::string Describe() const;

    // Closes the file; the record is no longer loaded.
    void Close();

    bool Loaded = false;
    std::int32_t LineIndex = 0; // lines read since the last rewind (the 0-based line of the reading)
    std::int32_t LineCount = 0; // lines in the file
    std::int32_t StartLine = 0; // lines up to and including START
    std::string CurrentLine;    // last line read as text (header lines; readings are parsed in place)
    float CurrentValue = 0;     // last reading
    std::string FileName;
    std::int32_t SampleRate = 100; // readings per second, nearest integer to 1 / SampleStep
    float SampleStep = 0.01f;      // seconds between readings
    std::uint16_t Channels = 1;
    std::int32_t RecordCount = 0; // number of readings
    // What the last successful load found odd but took (a count on line 3 other than the number of
    // readings), in the program's words with the file name; empty when nothing. The caller shows it.
    std::string Warning;

    class LineReader; // buffered line reading over the open file (FreqRecord.cpp)

private:
    void rewind();
    float readValueLine(std::int64_t lineNumber);

    std::unique_ptr<LineReader> reader_;
};

// Parses one reading as the record reads it: a decimal number with a point, an optional sign, optional
// blanks around it. False for anything else, for infinities and NaN and for values beyond single
// precision.
bool parseFrequencyReading(std::string_view text, float& value);

} // namespace selva
