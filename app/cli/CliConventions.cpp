#include "app/cli/CliConventions.h"

#include "analysis/CsvExport.h"
#include "analysis/StandardFigures.h"
#include "app/cli/CliText.h"
#include "app/cli/Commands.h"
#include "app/cli/Session.h"

#include <iostream>

namespace selva::cli {

void addStandardFiguresJson(nlohmann::ordered_json& j, const AnalysisState& st, bool calibrated)
{
    const StandardFigures f = ComputeStandardFigures(st, calibrated);
    j["standard_burn_time"] = f.burnTime;
    j["standard_total_impulse"] = f.totalImpulse;
    j["standard_average_thrust"] = f.averageThrust;
    j["impulse_class"] = f.impulseClass.letter;
    j["designation"] = f.designation;
    j["class_percent"] = f.impulseClass.percent;
}

void printStandardFigures(std::ostream& out, const AnalysisState& st, bool calibrated)
{
    out << StandardFiguresTitle << ":\n";
    for (const auto& [caption, value] : StandardFiguresLines(ComputeStandardFigures(st, calibrated)))
        out << "  " << caption << ": " << value << '\n';
}

namespace {

constexpr const char* kMotorGroup = "Motor file (eng, rse)";

} // namespace

void addMotorExportOptions(CLI::App* sub, MotorExportOptions& o)
{
    sub->add_option("--diameter", o.diameter, "motor diameter, mm")
        ->check(Finite & CLI::PositiveNumber)
        ->group(kMotorGroup);
    sub->add_option("--length", o.length, "motor length, mm")->check(Finite & CLI::PositiveNumber)->group(kMotorGroup);
    sub->add_option("--total-mass", o.totalMass,
                    "loaded motor mass, kg (the propellant mass is the charge weight)")
        ->check(Finite & CLI::PositiveNumber)
        ->group(kMotorGroup);
    sub->add_option("--code", o.code, "motor name (default: the designation, e.g. G80)")->group(kMotorGroup);
    sub->add_option("--delays", o.delays, "delays in seconds joined by '-', 0 or P (default P)")
        ->group(kMotorGroup);
    sub->add_option("--manufacturer", o.manufacturer, "maker, one word (default Custom)")->group(kMotorGroup);
    sub->add_option("--type", o.type, "rse motor type (default single-use)")
        ->check(CLI::IsMember({"single-use", "reloadable", "hybrid"}))
        ->group(kMotorGroup);
    sub->add_option("--points", o.points, "at most this many curve points (default 32)")
        ->check(CLI::Range(3, 1000000))
        ->group(kMotorGroup);
    sub->add_flag("--full-resolution", o.fullResolution, "every point of the analysis in the curve")
        ->group(kMotorGroup);
    sub->add_flag("--decimal-comma", o.decimalComma, "csv: decimal comma and ';' between fields");
}

bool isMotorExportKind(const std::string& kind)
{
    return kind == "eng" || kind == "rse" || kind == "csv";
}

int checkMotorExportOptions(const std::string& kind, const MotorExportOptions& o)
{
    const bool motorFile = kind == "eng" || kind == "rse";
    const bool motorData = o.diameter || o.length || o.totalMass || o.code || o.delays || o.manufacturer ||
                           o.type || o.points || o.fullResolution;
    if (motorFile && !(o.diameter && o.length && o.totalMass)) {
        std::cerr << "A motor file needs --diameter, --length and --total-mass\n";
        return kExitUsage;
    }
    if (!motorFile && motorData) {
        std::cerr << "The motor options apply to --kind eng and rse only\n";
        return kExitUsage;
    }
    if (o.points && o.fullResolution) {
        std::cerr << "--points and --full-resolution exclude each other\n";
        return kExitUsage;
    }
    if (kind != "csv" && o.decimalComma) {
        std::cerr << "--decimal-comma applies to --kind csv only\n";
        return kExitUsage;
    }
    return kExitOk;
}

int runMotorExport(const Session& s, const std::string& kind, const std::string& out,
                   const MotorExportOptions& o)
{
    if (s.state.PointCount == 0) {
        std::cerr << "The analysis has no points: nothing to export\n";
        return kExitFailure;
    }
    std::string error;
    bool ok = false;
    if (kind == "csv") {
        ok = WriteCsvFile(out, s.state, CsvFormatFor(o.decimalComma), &error, s.ws.SaveOptionsFor(SaveWhat::Export));
    } else {
        MotorData motor;
        motor.diameterMm = o.diameter.value_or(0);
        motor.lengthMm = o.length.value_or(0);
        motor.totalKg = o.totalMass.value_or(0);
        motor.code = o.code.value_or(motor.code);
        motor.delays = o.delays.value_or(motor.delays);
        motor.manufacturer = o.manufacturer.value_or(motor.manufacturer);
        motor.type = o.type.value_or(motor.type);
        CurveExportOptions curve;
        curve.fullResolution = o.fullResolution;
        curve.maxPoints = o.points.value_or(curve.maxPoints);
        MotorExportInfo info;
        info.sourceName = s.sourceName;
        // A project keeps its test date; a source opened alone is dated today, as the window shows it.
        info.testDate = s.store.project.testDate > 0 ? s.store.project.testDate : todayAsTestDate();
        const bool calibrated = s.sensors.ActiveSensorIndex != 0;
        const SaveOptions save = s.ws.SaveOptionsFor(SaveWhat::Export);
        ok = kind == "eng" ? WriteEngFile(out, s.state, calibrated, motor, curve, info, &error, save)
                           : WriteRseFile(out, s.state, calibrated, motor, curve, info, &error, save);
    }
    if (!ok) {
        std::cerr << error << '\n';
        return kExitFailure;
    }
    return kExitOk;
}

} // namespace selva::cli
