#include "store/Records.h"

#include "common/Cp1251.h"
#include "common/LittleEndian.h"

namespace selva {

namespace {

// Every field is written and read at an offset relative to the start of its block; the block's own
// offset inside a record is passed in, so the offsets below are exactly those of the record tables.

void putBool8(unsigned char* p, bool v)
{
    le::putU8(p, v ? 1 : 0);
}
bool getBool8(const unsigned char* p)
{
    return le::getU8(p) != 0;
}

// string[n]: a length byte and n bytes of code page 1251 text.
void putShortString(unsigned char* p, std::size_t n, const std::string& utf8)
{
    std::string cp = utf8ToCp1251(utf8);
    if (cp.size() > n)
        cp.resize(n);
    le::putU8(p, static_cast<std::uint8_t>(cp.size()));
    for (std::size_t i = 0; i < n; ++i)
        p[1 + i] = i < cp.size() ? static_cast<unsigned char>(cp[i]) : 0;
}

std::string getShortString(const unsigned char* p, std::size_t n)
{
    std::size_t len = le::getU8(p);
    if (len > n)
        len = n; // never trust the length byte beyond the field
    return cp1251ToUtf8(std::string(reinterpret_cast<const char*>(p + 1), len));
}

void putFont(unsigned char* p, const TFontRecord& f)
{
    le::putU32(p + 0, f.charset);
    le::putU32(p + 4, f.color);
    le::putI32(p + 8, f.height);
    putShortString(p + 12, FontNameLength, f.name);
    le::putU8(p + 43, 0);
    le::putI32(p + 44, f.size);
    le::putU32(p + 48, f.style);
    le::putI32(p + 52, f.pitch);
}

TFontRecord getFont(const unsigned char* p)
{
    TFontRecord f;
    f.charset = le::getU32(p + 0);
    f.color = le::getU32(p + 4);
    f.height = le::getI32(p + 8);
    f.name = getShortString(p + 12, FontNameLength);
    f.size = le::getI32(p + 44);
    f.style = le::getU32(p + 48);
    f.pitch = le::getI32(p + 52);
    return f;
}

void putPlacement(unsigned char* p, const TWindowPlacement& w)
{
    le::putI32(p + 0, w.top);
    le::putI32(p + 4, w.left);
    le::putI32(p + 8, w.width);
    le::putI32(p + 12, w.height);
}

TWindowPlacement getPlacement(const unsigned char* p)
{
    return {le::getI32(p + 0), le::getI32(p + 4), le::getI32(p + 8), le::getI32(p + 12)};
}

void putChart(unsigned char* p, const TChartAppearance& c)
{
    le::putU32(p + 0, c.dataLineColor);
    le::putU8(p + 4, c.dataLineStyle);
    le::putU16(p + 6, c.dataLineWidth);
    le::putU32(p + 8, c.dataDotColor);
    le::putU8(p + 12, c.dataDotStyle);
    putBool8(p + 13, c.dataDotsVisible);
    le::putU16(p + 14, c.dataDotWidth);
    le::putU16(p + 16, c.dataDotHeight);
    le::putU32(p + 20, c.deltaLineColor);
    le::putU8(p + 24, c.deltaLineStyle);
    le::putU16(p + 26, c.deltaLineWidth);
    le::putU32(p + 32, c.baseLineColor);
    le::putU8(p + 36, c.baseLineStyle);
    le::putU16(p + 38, c.baseLineWidth);
    le::putU32(p + 40, c.axisColor);
    le::putU32(p + 44, c.backColor);
    le::putU32(p + 48, c.textColor);
    le::putU32(p + 52, c.gridColor);
    le::putU32(p + 56, c.minorGridColor);
}

TChartAppearance getChart(const unsigned char* p)
{
    TChartAppearance c;
    c.dataLineColor = le::getU32(p + 0);
    c.dataLineStyle = le::getU8(p + 4);
    c.dataLineWidth = le::getU16(p + 6);
    c.dataDotColor = le::getU32(p + 8);
    c.dataDotStyle = le::getU8(p + 12);
    c.dataDotsVisible = getBool8(p + 13);
    c.dataDotWidth = le::getU16(p + 14);
    c.dataDotHeight = le::getU16(p + 16);
    c.deltaLineColor = le::getU32(p + 20);
    c.deltaLineStyle = le::getU8(p + 24);
    c.deltaLineWidth = le::getU16(p + 26);
    c.baseLineColor = le::getU32(p + 32);
    c.baseLineStyle = le::getU8(p + 36);
    c.baseLineWidth = le::getU16(p + 38);
    c.axisColor = le::getU32(p + 40);
    c.backColor = le::getU32(p + 44);
    c.textColor = le::getU32(p + 48);
    c.gridColor = le::getU32(p + 52);
    c.minorGridColor = le::getU32(p + 56);
    return c;
}

void putGrid(unsigned char* p, const TGridFlags& g)
{
    putBool8(p + 0, g.horizontal);
    putBool8(p + 1, g.vertical);
    putBool8(p + 2, g.horizontalMinor);
    putBool8(p + 3, g.verticalMinor);
}

TGridFlags getGrid(const unsigned char* p)
{
    return {getBool8(p + 0), getBool8(p + 1), getBool8(p + 2), getBool8(p + 3)};
}

void putDcb(unsigned char* p, const TDcb& d)
{
    le::putU32(p + 0, d.DCBlength);
    le::putU32(p + 4, d.BaudRate);
    le::putU32(p + 8, d.Flags);
    le::putU16(p + 12, d.wReserved);
    le::putU16(p + 14, d.XonLim);
    le::putU16(p + 16, d.XoffLim);
    le::putU8(p + 18, d.ByteSize);
    le::putU8(p + 19, d.Parity);
    le::putU8(p + 20, d.StopBits);
    le::putU8(p + 21, d.XonChar);
    le::putU8(p + 22, d.XoffChar);
    le::putU8(p + 23, d.ErrorChar);
    le::putU8(p + 24, d.EofChar);
    le::putU8(p + 25, d.EvtChar);
    le::putU16(p + 26, d.wReserved1);
}

TDcb getDcb(const unsigned char* p)
{
    TDcb d;
    d.DCBlength = le::getU32(p + 0);
    d.BaudRate = le::getU32(p + 4);
    d.Flags = le::getU32(p + 8);
    d.wReserved = le::getU16(p + 12);
    d.XonLim = le::getU16(p + 14);
    d.XoffLim = le::getU16(p + 16);
    d.ByteSize = le::getU8(p + 18);
    d.Parity = le::getU8(p + 19);
    d.StopBits = le::getU8(p + 20);
    d.XonChar = le::getU8(p + 21);
    d.XoffChar = le::getU8(p + 22);
    d.ErrorChar = le::getU8(p + 23);
    d.EofChar = le::getU8(p + 24);
    d.EvtChar = le::getU8(p + 25);
    d.wReserved1 = le::getU16(p + 26);
    return d;
}

void putTimeouts(unsigned char* p, const TCommTimeouts& t)
{
    le::putU32(p + 0, t.ReadIntervalTimeout);
    le::putU32(p + 4, t.ReadTotalTimeoutMultiplier);
    le::putU32(p + 8, t.ReadTotalTimeoutConstant);
    le::putU32(p + 12, t.WriteTotalTimeoutMultiplier);
    le::putU32(p + 16, t.WriteTotalTimeoutConstant);
}

TCommTimeouts getTimeouts(const unsigned char* p)
{
    return {le::getU32(p + 0), le::getU32(p + 4), le::getU32(p + 8), le::getU32(p + 12), le::getU32(p + 16)};
}

void putLogger(unsigned char* p, const TLoggerBlock& l)
{
    le::putI32(p + 0, l.dataSource);
    le::putF32(p + 4, l.refresh);
    le::putF32(p + 8, l.accur);
    le::putF32(p + 12, l.window);
    le::putI32(p + 16, l.valUp);
    le::putI32(p + 20, l.valDown);
    le::putI32(p + 24, l.reserved24);
    le::putI32(p + 28, l.reserved28);
    le::putI32(p + 32, l.reserved32);
    le::putF32(p + 36, l.reserved36);
    le::putU8(p + 40, static_cast<std::uint8_t>(l.portIndex));
    le::putU8(p + 41, l.displayFlag);
    putDcb(p + 42, l.dcb);
    putTimeouts(p + 72, l.timeouts);
}

TLoggerBlock getLogger(const unsigned char* p)
{
    TLoggerBlock l;
    l.dataSource = le::getI32(p + 0);
    l.refresh = le::getF32(p + 4);
    l.accur = le::getF32(p + 8);
    l.window = le::getF32(p + 12);
    l.valUp = le::getI32(p + 16);
    l.valDown = le::getI32(p + 20);
    l.reserved24 = le::getI32(p + 24);
    l.reserved28 = le::getI32(p + 28);
    l.reserved32 = le::getI32(p + 32);
    l.reserved36 = le::getF32(p + 36);
    l.portIndex = static_cast<std::int8_t>(le::getU8(p + 40));
    l.displayFlag = le::getU8(p + 41);
    l.dcb = getDcb(p + 42);
    l.timeouts = getTimeouts(p + 72);
    return l;
}

void putAutoRecord(unsigned char* p, const TAutoRecordBlock& a)
{
    le::putI32(p + 0, a.freqUp);
    le::putI32(p + 4, a.freqEnd);
    le::putF32(p + 8, a.deadTime);
    le::putF32(p + 12, a.endTime);
    le::putF32(p + 16, a.bufLen);
}

TAutoRecordBlock getAutoRecord(const unsigned char* p)
{
    return {le::getI32(p + 0), le::getI32(p + 4), le::getF32(p + 8), le::getF32(p + 12), le::getF32(p + 16)};
}

} // namespace

SettingsBytes encodeSettingsRecord(const TSettingsRecord& r)
{
    SettingsBytes b{};
    unsigned char* p = b.data();
    le::putU32(p + 0, TSettingsRecord::Size);
    le::putU32(p + 4, r.formColor);
    putFont(p + 8, r.formFont);
    putPlacement(p + 64, r.mainPlacement);
    putChart(p + 80, r.chart);
    putGrid(p + 140, r.grid);
    le::putF32(p + 144, r.AnalysisStep);
    le::putI32(p + 148, r.FilterWindow);
    putShortString(p + 152, FileNameLength, r.SensorFileName);
    le::putI32(p + 408, r.ActiveSensorId);
    putBool8(p + 412, r.channelLeft);
    putPlacement(p + 416, r.dataPlacement);
    putLogger(p + 432, r.logger);
    putAutoRecord(p + 524, r.autoRecord);
    putShortString(p + 544, AuthorNameLength, r.authorName);
    return b;
}

TSettingsRecord decodeSettingsRecord(const SettingsBytes& b)
{
    const unsigned char* p = b.data();
    TSettingsRecord r;
    // The size field at offset 0 is always 568 when written and is not read.
    r.formColor = le::getU32(p + 4);
    r.formFont = getFont(p + 8);
    r.mainPlacement = getPlacement(p + 64);
    r.chart = getChart(p + 80);
    r.grid = getGrid(p + 140);
    r.AnalysisStep = le::getF32(p + 144);
    r.FilterWindow = le::getI32(p + 148);
    r.SensorFileName = getShortString(p + 152, FileNameLength);
    r.ActiveSensorId = le::getI32(p + 408);
    r.channelLeft = getBool8(p + 412);
    r.dataPlacement = getPlacement(p + 416);
    r.logger = getLogger(p + 432);
    r.autoRecord = getAutoRecord(p + 524);
    r.authorName = getShortString(p + 544, AuthorNameLength);
    return r;
}

ProjectBytes encodeProjectRecord(const TProjectRecord& r)
{
    ProjectBytes b{};
    unsigned char* p = b.data();
    le::putU32(p + 0, TProjectRecord::Size);
    putChart(p + 4, r.chart);
    le::putU32(p + 64, r.formColor);
    putFont(p + 68, r.formFont);
    putGrid(p + 124, r.grid);
    putPlacement(p + 128, r.mainPlacement);
    putShortString(p + 204, FileNameLength, r.sourceFileName);
    putShortString(p + 460, FileNameLength, r.SensorFileName);
    le::putI32(p + 716, r.ActiveSensorId);
    putBool8(p + 720, r.channelLeft);
    le::putF32(p + 724, r.AnalysisStep);
    le::putI32(p + 728, r.FilterWindow);
    le::putU32(p + 732, r.invert ? 1 : 0);
    le::putF64(p + 736, r.thrustAxisMax);
    le::putF64(p + 744, r.thrustAxisMin);
    le::putF64(p + 752, r.timeAxisMax);
    le::putF64(p + 760, r.timeAxisMin);
    le::putF64(p + 768, r.StartTime);
    putBool8(p + 776, r.startByHand);
    le::putF64(p + 784, r.EndTime);
    putBool8(p + 792, r.endByHand);
    le::putF32(p + 796, r.RestThrust);
    le::putF32(p + 800, r.RestThrustAfter);
    le::putF32(p + 804, r.RestFreq);
    le::putF32(p + 808, r.RestFreqAfter);
    putBool8(p + 812, r.restByHand);
    putBool8(p + 813, r.zeroCompensation);
    putBool8(p + 814, r.filterOn);
    le::putF32(p + 816, r.ZeroOffset);
    putBool8(p + 820, r.showDelta);
    putBool8(p + 821, r.showNewtons);
    le::putF64(p + 824, r.testDate);
    putBool8(p + 832, r.showDate);
    putBool8(p + 833, r.showResults);
    le::putF64(p + 856, r.calc.ChargeWeight);
    putBool8(p + 864, r.calc.IncludeChargeWeight);
    le::putF64(p + 872, r.calc.RigWeight);
    putBool8(p + 880, r.calc.IncludeRigWeight);
    putBool8(p + 881, r.calc.RigidMount);
    le::putU8(p + 882, r.calc.MotorPosition);
    putBool8(p + 883, r.calc.Hysteresis);
    putBool8(p + 884, r.calc.NetThrust);
    le::putI32(p + 904, r.sound.source);
    le::putI32(p + 908, r.sound.formatIndex);
    le::putU32(p + 912, r.sound.channelLeft ? 1 : 0);
    le::putF32(p + 916, r.sound.waveLen);
    le::putF32(p + 920, r.sound.refresh);
    le::putF32(p + 924, r.sound.accur);
    le::putF32(p + 928, r.sound.window);
    le::putI32(p + 932, r.sound.freqUp);
    le::putI32(p + 936, r.sound.freqDown);
    le::putI32(p + 940, r.sound.specUp);
    le::putI32(p + 944, r.sound.specDown);
    putLogger(p + 980, r.logger);
    putAutoRecord(p + 1072, r.autoRecord);
    putShortString(p + 1092, AuthorNameLength, r.authorName);
    return b;
}

TProjectRecord decodeProjectRecord(const ProjectBytes& b)
{
    const unsigned char* p = b.data();
    TProjectRecord r;
    r.chart = getChart(p + 4);
    r.formColor = le::getU32(p + 64);
    r.formFont = getFont(p + 68);
    r.grid = getGrid(p + 124);
    r.mainPlacement = getPlacement(p + 128);
    r.sourceFileName = getShortString(p + 204, FileNameLength);
    r.SensorFileName = getShortString(p + 460, FileNameLength);
    r.ActiveSensorId = le::getI32(p + 716);
    r.channelLeft = getBool8(p + 720);
    r.AnalysisStep = le::getF32(p + 724);
    r.FilterWindow = le::getI32(p + 728);
    r.invert = le::getU32(p + 732) != 0;
    r.thrustAxisMax = le::getF64(p + 736);
    r.thrustAxisMin = le::getF64(p + 744);
    r.timeAxisMax = le::getF64(p + 752);
    r.timeAxisMin = le::getF64(p + 760);
    r.StartTime = le::getF64(p + 768);
    r.startByHand = getBool8(p + 776);
    r.EndTime = le::getF64(p + 784);
    r.endByHand = getBool8(p + 792);
    r.RestThrust = le::getF32(p + 796);
    r.RestThrustAfter = le::getF32(p + 800);
    r.RestFreq = le::getF32(p + 804);
    r.RestFreqAfter = le::getF32(p + 808);
    r.restByHand = getBool8(p + 812);
    r.zeroCompensation = getBool8(p + 813);
    r.filterOn = getBool8(p + 814);
    r.ZeroOffset = le::getF32(p + 816);
    r.showDelta = getBool8(p + 820);
    r.showNewtons = getBool8(p + 821);
    r.testDate = le::getF64(p + 824);
    r.showDate = getBool8(p + 832);
    r.showResults = getBool8(p + 833);
    r.calc.ChargeWeight = le::getF64(p + 856);
    r.calc.IncludeChargeWeight = getBool8(p + 864);
    r.calc.RigWeight = le::getF64(p + 872);
    r.calc.IncludeRigWeight = getBool8(p + 880);
    r.calc.RigidMount = getBool8(p + 881);
    r.calc.MotorPosition = le::getU8(p + 882);
    r.calc.Hysteresis = getBool8(p + 883);
    r.calc.NetThrust = getBool8(p + 884);
    r.sound.source = le::getI32(p + 904);
    r.sound.formatIndex = le::getI32(p + 908);
    r.sound.channelLeft = le::getU8(p + 912) != 0; // only the low byte counts
    r.sound.waveLen = le::getF32(p + 916);
    r.sound.refresh = le::getF32(p + 920);
    r.sound.accur = le::getF32(p + 924);
    r.sound.window = le::getF32(p + 928);
    r.sound.freqUp = le::getI32(p + 932);
    r.sound.freqDown = le::getI32(p + 936);
    r.sound.specUp = le::getI32(p + 940);
    r.sound.specDown = le::getI32(p + 944);
    r.logger = getLogger(p + 980);
    r.autoRecord = getAutoRecord(p + 1072);
    r.authorName = getShortString(p + 1092, AuthorNameLength);
    return r;
}

void CopySettingsToProject(const TSettingsRecord& s, TProjectRecord& p)
{
    p.formColor = s.formColor;
    p.formFont = s.formFont;
    p.chart = s.chart;
    p.grid = s.grid;
    p.AnalysisStep = s.AnalysisStep;
    p.FilterWindow = s.FilterWindow;
    p.SensorFileName = s.SensorFileName;
    p.ActiveSensorId = s.ActiveSensorId;
    p.channelLeft = s.channelLeft;
    p.logger = s.logger;
    p.autoRecord = s.autoRecord;
    p.authorName = s.authorName;
}

void CopyProjectToSettings(const TProjectRecord& p, TSettingsRecord& s)
{
    s.formColor = p.formColor;
    s.formFont = p.formFont;
    s.chart = p.chart;
    s.grid = p.grid;
    s.AnalysisStep = p.AnalysisStep;
    s.FilterWindow = p.FilterWindow;
    s.SensorFileName = p.SensorFileName;
    s.ActiveSensorId = p.ActiveSensorId;
    s.channelLeft = p.channelLeft;
    s.logger = p.logger;
    s.autoRecord = p.autoRecord;
}

std::string fitRecordText(const std::string& utf8, std::size_t length)
{
    std::string cp = utf8ToCp1251(utf8);
    if (cp.size() > length)
        cp.resize(length);
    return cp1251ToUtf8(cp);
}

} // namespace selva
