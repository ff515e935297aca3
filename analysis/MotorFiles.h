#pragma once

#include "analysis/AnalysisState.h"
#include "analysis/StandardFigures.h"
#include "common/AtomicFile.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace selva {

// What a motor file says about the motor beyond its thrust curve. The export dialog and the command-line
// options fill it; the dialog remembers it between runs (SaveMotorData). Sizes in millimetres, masses in
// kilograms.
struct MotorData {
    std::string code; // the motor's name; empty: the designation of the results ("G80")
    double diameterMm = 0;
    double lengthMm = 0;
    std::string delays = "P"; // delay times in seconds joined by '-' ("4-6-8"), "0" or "P" (plugged)
    double propellantKg = 0;  // 0: the charge weight of the analysis
    double totalKg = 0;       // the loaded motor
    std::string manufacturer = "Custom";
    std::string type = "single-use"; // ".rse" only: single-use, reloadable or hybrid
    bool operator==(const MotorData&) const = default;
};

// The first thing wrong with the data for a motor file, as the program tells the user; empty when the data
// can be written. Names, delays and maker are one word each of printable Latin characters (other programs
// split the line at blanks, take ';' for a comment and may not read other letters).
std::string CheckMotorData(const MotorData& motor);

// How many points a motor file's curve gets.
struct CurveExportOptions {
    bool fullResolution = false; // every point of the analysis
    std::size_t maxPoints = 32;  // otherwise at most this many (at least 3)
};

// The points a motor file carries for a whole-burn curve (BurnCurve): increasing times from the start of
// thrust, without the implied (0, 0), the last point at zero thrust and no other; times to 1 µs and thrust
// to 1 mN. Unless at full resolution the curve is thinned to maxPoints by dropping, one at a time, the
// point whose removal changes the impulse least; when that misses the impulse by more than 0.4 % (a
// ragged curve), the thrust of the kept points is scaled back to it, so a file always holds the total
// impulse within 0.5 %. Empty when the burn has fewer than two points.
std::vector<CurvePoint> MotorFilePoints(const std::vector<CurvePoint>& burn,
                                        const CurveExportOptions& options);

// The trapezoid impulse of motor-file points with the implied (0, 0) before them, N·s.
double MotorFileImpulse(const std::vector<CurvePoint>& points);

// Where an export came from, for the comment lines.
struct MotorExportInfo {
    std::string sourceName; // UTF-8, the analysed source
    double testDate = 0;    // days since 30 December 1899 (the window's test date); 0 or less: not known
};

// "2024-05-17" for a test date in days since 30 December 1899; empty when not known.
std::string TestDateText(double days);

// Everything a motor file of the analysis needs: the data (with the propellant mass taken from the
// charge weight when not given), the figures and the points. Throws selva::Error with the program's
// message when the data are not fit for a file, the sensor does not give newtons or there is no burn.
struct MotorExport {
    MotorData motor;
    StandardFigures figures;
    std::vector<CurvePoint> points;
};
MotorExport PrepareMotorExport(const AnalysisState& state, bool calibrated, const MotorData& motor,
                               const CurveExportOptions& options);

// RASP ".eng" text: ';' comment lines (source, test date, program, the figures), the header line
// "code diameter length delays propellant total maker", then one "time thrust" line a point. CR LF ends.
std::string EngText(const MotorExport& data, const MotorExportInfo& info);

// RockSim ".rse" engine database: one <engine> with code, mfg, Type, dia, len (mm), initWt, propWt (g),
// delays (',' between), Itot, avgThrust, peakThrust, burn-time, Isp (from the figures), and <eng-data>
// points t, f, m, cg: the propellant mass m (g) falls in proportion to the impulse delivered up to each
// point, cg is half the length. UTF-8 XML.
std::string RseText(const MotorExport& data, const MotorExportInfo& info);

// The exports of the window and the command-line tool: prepare, build the text, save through a temporary
// file renamed into place. False with `error` holding the message for the user.
// Written by the rules of `saveOptions` (common/AtomicFile.h); pass
// Workspace::SaveOptionsFor(SaveWhat::Export).
bool WriteEngFile(const std::string& fileName, const AnalysisState& state, bool calibrated,
                  const MotorData& motor, const CurveExportOptions& options, const MotorExportInfo& info,
                  std::string* error = nullptr, const SaveOptions& saveOptions = {});
bool WriteRseFile(const std::string& fileName, const AnalysisState& state, bool calibrated,
                  const MotorData& motor, const CurveExportOptions& options, const MotorExportInfo& info,
                  std::string* error = nullptr, const SaveOptions& saveOptions = {});

// A motor read from an ".eng" file: its header and its points as written (a first point at t = 0 kept).
struct EngMotor {
    MotorData motor; // type stays at its default
    std::vector<CurvePoint> points;
};

// Reads every motor of an ".eng" text (a file may hold several, one after another). Takes what the common
// readers take: ';' comments (whole lines or after the numbers), blank lines, CR LF or LF, blanks or TABs,
// a first point at t = 0, and a maker of several words. Refuses with selva::Error naming the line what
// they refuse: a header of fewer than seven fields or with a bad number, a point that is not two numbers,
// times that repeat or go back, negative or unreadable numbers, zero thrust before the end of a curve and
// a curve that does not end at zero thrust. `fileName` names the file in messages.
std::vector<EngMotor> ParseEng(std::string_view text, const std::string& fileName);
// The same from a file; selva::Error when it cannot be read.
std::vector<EngMotor> ReadEngFile(const std::string& fileName);

// A motor's thrust curve with the implied (0, 0) in front (unless its first point is at t = 0).
std::vector<CurvePoint> EngCurve(const EngMotor& motor);

// The export dialog's memory: the motor data as "key=value" lines (the propellant mass is not kept: it is
// the analysis's). Loading never fails: a missing file or bad lines give the defaults for what is missing.
MotorData LoadMotorData(const std::string& fileName);
bool SaveMotorData(const std::string& fileName, const MotorData& motor, std::string* error = nullptr);

} // namespace selva
