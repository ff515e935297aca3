#pragma once

#include <cstdint>
#include <string>

namespace selva {

// The longest analysis series. The analysis keeps five series of doubles a point (frequency, its error,
// thrust, its error, net thrust), works with two more of the same length while it detects and smooths,
// and the window computes on a copy of the whole state: about 100 bytes a point. 2^24 points (about
// 1.7 GB then) are 28 minutes of a recording at its finest step of 0.0001 s, or 4.6 hours of a record at
// 0.001 s: more than any firing needs, less than a desktop can spare.
inline constexpr std::uint64_t MaxAnalysisPoints = std::uint64_t{1} << 24;

// "Слишком много точек анализа (N при шаге S сек, можно не больше M): увеличьте шаг \"Точность\"".
std::string TooManyPointsMessage(double points, double step);

// Throws selva::Error with TooManyPointsMessage when `points` (a count not yet allocated; NaN counts as
// too many) is above MaxAnalysisPoints.
void CheckPointCount(double points, double step);

} // namespace selva
