#pragma once

#include <cstdint>
#include <vector>

namespace selva {

// Kilograms to newtons, and the divisor of the specific impulse. Deliberately not 9.80665: stored results
// and the users' own reference numbers were all computed with this value.
inline constexpr double GravityConstant = 9.8156;

// Values of AnalysisState::SourceKind.
enum SourceKindValue : std::uint8_t {
    SourceWave = 0, // WAV recording in the shared TWave
    SourceFreq = 1, // frequency record in the shared TFreq
    SourceNone = 3, // nothing opened (at start, and while a project is being opened)
};

// Values of AnalysisState::MotorPosition.
enum MotorPositionValue : std::uint8_t {
    MotorHorizontal = 0,
    MotorNozzleUp = 1,   // "Соплом вверх"
    MotorNozzleDown = 2, // "Соплом вниз"
};

// The whole state of the thrust analysis: the inputs the user sets, the series built from the source, the
// values derived from them and the results. One object exists in the program (created in main) and every
// window, the project file and the exports read and write it. Times are in seconds, frequencies in Hz,
// thrust in newtons, weights in kilograms. Series point i lies at time i * AnalysisStep.
//
// Threads: the analysis stages write it from whatever thread runs them; nobody else may touch it while a
// computation runs (the window computes into a copy or waits).
struct AnalysisState {
    // ---- settings and inputs
    double AnalysisStep = 0.01; // "Точность", the step of the analysis series
    double MinStep = 0.0001;    // smallest step the step edit accepts
    double RecordDuration = 10; // length of the source
    std::uint8_t SourceKind = SourceNone;
    bool FilterOn = false;         // smooth the frequency series
    std::int32_t FilterWindow = 7; // moving-average window, points
    std::uint8_t RoundDigits = 2;  // decimals of the rest lines and of the mean frequency
    std::int32_t NoiseLsb = 0;     // noise threshold of the WAV frequency measurement, sample units
    std::uint8_t MotorPosition = MotorHorizontal;
    float ChargeWeight = 0;
    float RigWeight = 0;
    bool IncludeChargeWeight = true;
    bool IncludeRigWeight = true;
    bool RigidMount = false;  // the rig is rigidly joined to the sensor
    bool NetThrust = true;    // results and the thrust export use ThrustNet
    bool Hysteresis = false;  // stored and shown only; no computation reads it
    double ZeroOffset = 0;    // Hz added to every frequency when zero compensation is on
    double StartTime = 0;     // start of thrust, 0 = not set
    double EndTime = 0;       // end of thrust, 0 = not set
    double RestFreq = 0;      // rest line before the firing, Hz
    double RestFreqAfter = 0; // rest line after the firing, Hz
    float ViewFrom = 0;       // chart time window; the extremes are taken over it
    float ViewTo = 10;

    // ---- series, PointCount points each
    std::uint32_t PointCount = 0;
    std::vector<double> FreqData;
    std::vector<double> FreqError; // WAV sources only, zero otherwise
    std::vector<double> ThrustData;
    std::vector<double> ThrustError;
    std::vector<double> ThrustNet; // thrust corrected for the rig and charge weights

    // ---- derived values
    double RestThrust = 0;
    double RestThrustAfter = 0;
    double RestThrustNet = 0;
    double MeanFreq = 0;
    double MeanThrust = 0;
    double MeanThrustNet = 0;
    double FreqMin = 0;
    double FreqMax = 0;
    double ThrustMin = 0;
    double ThrustMax = 0;
    bool DetectRising = false; // the frequency rises during the firing
    bool ThrustRising = false; // the thrust series starts below its mean

    // ---- results
    float ThrustTime = 0;
    float TotalImpulse = 0;
    float TotalImpulseError = 0;
    float SpecificImpulse = 0;
    float SpecificImpulseError = 0;
    float MaxThrust = 0;
    float MaxThrustError = 0;
    float AverageThrust = 0;

    // ---- analysis window state that the computation reads or source opening sets
    bool UseLeftChannel = false; // "Канал Л" checked (second sample of a frame); else "Канал Пр"
    bool LeftChannelEnabled = true; // "Канал Л" can be chosen (stereo WAV source)
    bool ZeroCompensation = true;   // cbxZero "Компенсация "0""
    bool NoiseControlsVisible = false; // "Игнорировать шум (LSB)", its edit and "Показать ошибку" (WAV only)

    // The channel index CalcWaveFrequency reads: 0 right, 1 left.
    int channelIndex() const { return UseLeftChannel ? 1 : 0; }
};

} // namespace selva
