#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace selva {

// The two fixed-size binary records the program keeps for the whole run: the settings record (the
// program's own memory between runs, ".rsr" files) and the project record (one whole analysis, ".proj"
// files), with the blocks they share. Each struct holds the fields at their natural C++ types; the
// byte layout lives only in Records.cpp, which writes and reads every field at its offset, little-endian.
// Text fields are UTF-8 here and code page 1251 in the records (a length byte and at most N bytes).

// A colour: 0x00BBGGRR for an RGB colour, 0xFF0000nn for system colour number nn.
using TColor = std::uint32_t;
inline constexpr TColor clNone = 0x1FFFFFFF;

// Longest texts the records hold, in characters (one byte each in code page 1251).
inline constexpr std::size_t FontNameLength = 30;
inline constexpr std::size_t FileNameLength = 255;
inline constexpr std::size_t AuthorNameLength = 20;

// 56 bytes.
struct TFontRecord {
    std::uint32_t charset = 1; // low byte used
    TColor color = 0xFF000008; // system window-text colour
    std::int32_t height = -11; // negative: character height in pixels
    std::string name;          // face name, at most 30 characters
    std::int32_t size = 8;     // points
    std::uint32_t style = 0;   // low byte: bit 0 bold, 1 italic, 2 underline, 3 strike-out
    std::int32_t pitch = 50;   // not read by the program; kept so that round trips are exact

    static constexpr std::size_t Size = 56;
    bool operator==(const TFontRecord&) const = default;
};

inline constexpr std::uint32_t fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8;

// 16 bytes. All four zero leave a window where it is; otherwise top and left are applied, width and
// height only when nonzero.
struct TWindowPlacement {
    std::int32_t top = 0;
    std::int32_t left = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;

    static constexpr std::size_t Size = 16;
    bool isEmpty() const { return top == 0 && left == 0 && width == 0 && height == 0; }
    bool operator==(const TWindowPlacement&) const = default;
};

// Line styles and dot styles are stored as indices into these lists; an index outside its list stands
// for the first entry (see penStyleIndex, dotStyleIndex).
inline constexpr std::array<const char*, 5> PenStyleNames{"Solid", "Dash", "Dot", "DashDot", "DashDotDot"};
inline constexpr std::array<const char*, 8> DotStyleNames{
    "Rectangle", "Circle", "Triangle", "DownTriangle", "Cross", "DiagCross", "Star", "Diamond"};
inline int penStyleIndex(std::uint8_t stored)
{
    return stored < PenStyleNames.size() ? stored : 0;
}
inline int dotStyleIndex(std::uint8_t stored)
{
    return stored < DotStyleNames.size() ? stored : 0;
}

// 60 bytes: colours, styles and widths of the chart.
struct TChartAppearance {
    TColor dataLineColor = 0x0000FFFF; // yellow
    std::uint8_t dataLineStyle = 0;
    std::uint16_t dataLineWidth = 1;
    TColor dataDotColor = 0x00008000; // green
    std::uint8_t dataDotStyle = 5;
    bool dataDotsVisible = false;
    std::uint16_t dataDotWidth = 3;
    std::uint16_t dataDotHeight = 3;
    TColor deltaLineColor = 0x00FFFFFF; // white
    std::uint8_t deltaLineStyle = 0;
    std::uint16_t deltaLineWidth = 1;
    TColor baseLineColor = 0x000000FF; // red
    std::uint8_t baseLineStyle = 0;
    std::uint16_t baseLineWidth = 1;
    TColor axisColor = 0x00FFFFFF;
    TColor backColor = 0xFF000001;
    TColor textColor = 0x00FFFFFF;
    TColor gridColor = 0x00C0C0C0;
    TColor minorGridColor = 0x00808080;

    static constexpr std::size_t Size = 60;
    bool operator==(const TChartAppearance&) const = default;
};

// The four grid flags, in the order both records keep them.
struct TGridFlags {
    bool horizontal = true;       // the value axis's grid (cbxGridX1)
    bool vertical = true;         // the time axis's grid (cbxGridY1)
    bool horizontalMinor = false; // the value axis's minor grid (cbxGridX2)
    bool verticalMinor = false;   // the time axis's minor grid (cbxGridY2)

    static constexpr std::size_t Size = 4;
    bool operator==(const TGridFlags&) const = default;
};

// Serial line settings, 28 bytes in the layout of the Windows DCB structure.
struct TDcb {
    std::uint32_t DCBlength = 28;
    std::uint32_t BaudRate = 115200;
    std::uint32_t Flags = 0; // the DCB's bit fields (fBinary, fParity, ...)
    std::uint16_t wReserved = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 8;
    std::uint8_t Parity = 0;   // 0 none
    std::uint8_t StopBits = 0; // 0 one stop bit
    std::uint8_t XonChar = 0;
    std::uint8_t XoffChar = 0;
    std::uint8_t ErrorChar = 0;
    std::uint8_t EofChar = 0;
    std::uint8_t EvtChar = 0;
    std::uint16_t wReserved1 = 0;

    static constexpr std::size_t Size = 28;
    bool operator==(const TDcb&) const = default;
};

// Serial time-outs in milliseconds, 20 bytes in the layout of the Windows COMMTIMEOUTS structure.
struct TCommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 30;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;

    static constexpr std::size_t Size = 20;
    bool operator==(const TCommTimeouts&) const = default;
};

// 92 bytes: the acquisition window's display and the serial port.
struct TLoggerBlock {
    std::int32_t dataSource = 1; // 0 sound card, 1 COM port
    float refresh = 0.3f;        // display refresh period, s (edtRefresh)
    float accur = 0.01f;         // time step, s (edtAccur)
    float window = 5.0f;         // display window width, s (edtWindow)
    std::int32_t valUp = 300;    // display scale, reading units (edtValUp)
    std::int32_t valDown = 0;    // (edtValDown)
    // Four values at offsets 24 to 39 that the program does not read; kept for exact round trips.
    std::int32_t reserved24 = 0;
    std::int32_t reserved28 = -1;
    std::int32_t reserved32 = 1;
    float reserved36 = 1.0f;
    std::int8_t portIndex = 0;    // -1 or beyond the port list: no port
    std::uint8_t displayFlag = 0; // written 0 when the live display is switched off; not read
    TDcb dcb;
    TCommTimeouts timeouts;

    static constexpr std::size_t Size = 92;
    bool operator==(const TLoggerBlock&) const = default;
};

// 20 bytes: the thresholds of automatic recording.
struct TAutoRecordBlock {
    std::int32_t freqUp = 5;  // excess over the mean rest line that marks the start (edtFreqUp)
    std::int32_t freqEnd = 5; // coincidence range that marks the end (edtFreqEnd)
    float deadTime = 2.0f;    // rest measurement time, s (edtDeadTime)
    float endTime = 1.0f;     // coincidence duration, s (edtEndTime)
    float bufLen = 2.0f;      // guard interval, s (edtBufLen)

    static constexpr std::size_t Size = 20;
    bool operator==(const TAutoRecordBlock&) const = default;
};

// 568 bytes.
struct TSettingsRecord {
    TColor formColor = 0x00FCEADF; // window background of all windows
    TFontRecord formFont;          // font of all windows
    TWindowPlacement mainPlacement;
    TChartAppearance chart;
    TGridFlags grid;
    float AnalysisStep = 0.01f;
    std::int32_t FilterWindow = 7;
    std::string SensorFileName; // at most 255 characters
    std::int32_t ActiveSensorId = 0;
    bool channelLeft = false;
    TWindowPlacement dataPlacement{570, 300, 520, 530}; // acquisition window
    TLoggerBlock logger;
    TAutoRecordBlock autoRecord;
    std::string authorName; // at most 20 characters

    static constexpr std::size_t Size = 568;
    bool operator==(const TSettingsRecord&) const = default;
};

// Offsets 856 to 884 of the project record: the calculation settings.
struct TCalcSettings {
    double ChargeWeight = 0; // kg
    bool IncludeChargeWeight = true;
    double RigWeight = 0; // kg
    bool IncludeRigWeight = true;
    bool RigidMount = true;
    std::uint8_t MotorPosition = 0; // 0 horizontal, 1 nozzle up, 2 nozzle down
    bool Hysteresis = false;
    bool NetThrust = true;

    bool operator==(const TCalcSettings&) const = default;
};

// Offsets 904 to 947 of the project record: the sound window's settings.
struct TSoundSettings {
    std::int32_t source = 0;       // sound input source index
    std::int32_t formatIndex = -1; // position in the capture format list; -1 none
    bool channelLeft = false;      // stored as 4 bytes, read as the low byte
    float waveLen = 2.0f;          // recording length, s
    float refresh = 0.5f;          // display refresh period, s
    float accur = 0.01f;           // time step, s
    float window = 5.0f;           // analysis window length, s
    std::int32_t freqUp = 10000;   // frequency display band, Hz
    std::int32_t freqDown = 0;
    std::int32_t specUp = 10000; // spectrum display band, Hz (at most 20000)
    std::int32_t specDown = 0;

    bool operator==(const TSoundSettings&) const = default;
};

// 1120 bytes.
struct TProjectRecord {
    TChartAppearance chart;
    TColor formColor = 0xFF00001B;
    TFontRecord formFont;
    TGridFlags grid;
    TWindowPlacement mainPlacement; // at the time of saving; not applied on load
    std::string sourceFileName;     // empty: no source
    std::string SensorFileName = "Selvarondine.sns";
    std::int32_t ActiveSensorId = 0;
    bool channelLeft = false; // rbtnChannelL of the analysis window
    float AnalysisStep = 0.01f;
    std::int32_t FilterWindow = 7;
    bool invert = true; // cbxInvert, stored as 4 bytes
    // Chart axes: equal maximum and minimum mean automatic scaling.
    double thrustAxisMax = 0;
    double thrustAxisMin = 0;
    double timeAxisMax = 0;
    double timeAxisMin = 0;
    double StartTime = 0;
    bool startByHand = false;
    double EndTime = 0;
    bool endByHand = false;
    float RestThrust = 0;
    float RestThrustAfter = 0;
    float RestFreq = 0;
    float RestFreqAfter = 0;
    bool restByHand = false;
    bool zeroCompensation = false; // cbxZero
    // Offset 814, a byte the record left unused: the moving-average filter was on ("Фильтр"). Projects
    // written before it read as off, which is what they were computed with unless the user had switched
    // the filter on by hand.
    bool filterOn = false;
    float ZeroOffset = 0;
    bool showDelta = false;   // cbxDelta
    bool showNewtons = false; // cbxN
    double testDate = 0;      // pkrData: days since 30 December 1899, fraction = time of day
    bool showDate = false;    // cbxDate
    bool showResults = false; // cbxResult
    TCalcSettings calc;
    TSoundSettings sound;
    TLoggerBlock logger;
    TAutoRecordBlock autoRecord;
    std::string authorName;

    static constexpr std::size_t Size = 1120;
    bool operator==(const TProjectRecord&) const = default;
};

using SettingsBytes = std::array<unsigned char, TSettingsRecord::Size>;
using ProjectBytes = std::array<unsigned char, TProjectRecord::Size>;

// Field-by-field encoding. Unlisted bytes are written as zero. Text is converted to code page 1251 and
// cut to the field's length; a stored length byte beyond the field is limited to it. Flags read any
// nonzero byte as set.
SettingsBytes encodeSettingsRecord(const TSettingsRecord& r);
TSettingsRecord decodeSettingsRecord(const SettingsBytes& b);
ProjectBytes encodeProjectRecord(const TProjectRecord& r);
TProjectRecord decodeProjectRecord(const ProjectBytes& b);

// The twins of the two records. Settings into project copies the window colour and font, the chart
// block, the grid flags, the accuracy, filter, sensor file, sensor number, channel, the logger and
// auto-record blocks and the author's name; project into settings copies the same fields except the
// author's name. Window placements are never copied.
void CopySettingsToProject(const TSettingsRecord& s, TProjectRecord& p);
void CopyProjectToSettings(const TProjectRecord& p, TSettingsRecord& s);

// A text field's content as the record will hold it: converted to code page 1251 and back, cut to
// `length` characters. Lets callers see what a save keeps (face names, file names, the author).
std::string fitRecordText(const std::string& utf8, std::size_t length);

} // namespace selva
