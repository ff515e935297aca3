#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace selva {

struct SoundRingState;

// The rules of the sound window (TfrmSound) in plain numbers: the bands of the frequency and spectrum
// pages and their track bars, the live read-out, the mappings of the three pictures and the checks of the
// edit controls. The window binds its controls to these and draws what they compute.

// Both bands live between 0 and 20000 Hz.
inline constexpr int BandTop = 20000;

// The frequency page's band with TBFreq, a vertical track bar whose position 0 is at the top: the lower
// frequency is the track bar's maximum less its position, so moving it up raises the band.
struct FreqBand {
    std::int32_t lower = 0;
    std::int32_t upper = 10000;

    std::int32_t width() const { return upper - lower; }
    // TBFreq's maximum (20000 - width, not below 0) and position (maximum - lower) after a commit of
    // either edit.
    int trackMax() const;
    int trackPosition() const;
    // TBFreq moved: the band keeps its width.
    void onTrack(int position, int trackMaximum);
};

// The spectrum page's band with TBSpec (horizontal, 0 to 20000).
struct SpecBand {
    std::int32_t lower = 0;
    std::int32_t upper = 10000;
    int trackPosition = 0;

    // TBSpec moved: the band keeps its width and its upper end stays at or below 20000.
    void onTrack(int position);
    // edtSpecUp committed: at most 20000; a band that would be empty starts at 0; TBSpec goes to the lower
    // frequency.
    void commitUpper();
    // edtSpecDown committed: 20000 or more takes TBSpec's position instead, a smaller value moves TBSpec;
    // a lower frequency above the upper one sends the upper one to 20000.
    void commitLower();
};

// The number format of the mouse read-out and the scale labels: no decimals from 10 up, 1 above 1, 2
// above 0.1, 3 above 0.01, 4 otherwise; 0 is "0"; a text whose second character is the decimal separator
// loses its trailing zeros (0.1200 -> 0.12) and a separator left bare.
std::string FormatReadout(double value, char decimalSeparator = '.');

// Values lblFreq averages: nearest(refresh / accuracy), 1 to 65535, and no more than the ring holds.
int LiveMeanCount(double refresh, double accuracy, int ringLength);
// The mean of the latest `count` values of FreqRing before its write index, to the nearest tenth.
double LiveMean(const SoundRingState& ring, int count);

// The latest FreqRing values of the display window, oldest first (at most the ring's length).
std::vector<float> LatestFreqValues(const SoundRingState& ring, int count);

struct PlotRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

// The frequency graph: value i (oldest 0) at x = left + nearest(i * (width - 1) / perWindow), y = bottom -
// nearest((v - lower) * height / (upper - lower)). An empty band draws nothing.
struct PlotPoint {
    int x, y;
};
std::vector<PlotPoint> FreqGraphPoints(const std::vector<float>& values, const PlotRect& plot,
                                       double perWindow, double lower, double upper);
// The frequency at height y of the plot: lower + (bottom - y) * (upper - lower) / (bottom - top); false
// outside the plot's height.
bool MouseFrequency(int y, const PlotRect& plot, double lower, double upper, double& frequency);

// The waveform: the frames from `delayMs` to `delayMs + windowMs` before the record frame. Samples are
// drawn as sample * multiplier + offset over the vertical range [low, high] (-1000 to 1000, or the
// range of the samples with "Автограницы").
struct SignalView {
    std::int64_t back = 0; // frames between the newest frame drawn and the record frame
    int frames = 0;        // frames drawn
};
SignalView SignalFrames(double delayMs, double windowMs, std::uint32_t sampleRate, std::int32_t ringFrames);
void AutoBounds(const std::vector<float>& samples, double multiplier, double& low, double& high);
int SignalY(double sample, double multiplier, double offset, double low, double high, const PlotRect& plot);

// Checks of the edit controls: what a commit refuses.
bool RefreshAcceptable(
    double seconds); // at least 0.01 s: a display timer of no interval would hog the window
bool AccuracyAcceptable(double seconds);  // above 0 and at most 10 s
bool WindowAcceptable(double seconds);    // above 0
bool DivisionsAcceptable(std::int64_t n); // 1 to 100

// The picture of imgAS for an automatic-recording state: state 1 picture 0, state 0 picture 1, state 2
// picture 2, state 4 picture 3.
int AutoStatePicture(int state);

} // namespace selva
