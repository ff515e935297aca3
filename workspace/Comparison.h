#pragma once

// Comparing the analysis with other tests: each one opened and analysed in a workspace of its own, so
// the analysis on screen is never touched, and the table of their figures with mean and spread.

#include "analysis/CompareTests.h"

#include <string>
#include <vector>

namespace selva {

class Workspace;

// One more test: a motor file (".eng") is its own thrust curve, sampled every millisecond; a project
// brings its own settings; any other source is analysed with the main workspace's sensor library and
// calculation settings (mounting, weights, filter, noise threshold, channel), at its own step. Throws
// selva::Error with the reasons when it cannot be opened or has no points.
ComparedTest AnalyseForComparison(const std::string& fileName, const Workspace& main);

// The comparison table: a row a test (the analysis first), then the mean and the standard deviation; a
// column for the designation and each figure of CompareColumns, in the user's decimal separator.
struct ComparisonTable {
    std::vector<std::string> columns;          // titles, the first "Испытание"
    std::vector<std::vector<std::string>> rows; // one a test, then "Среднее" and "Ст. отклонение"
};
ComparisonTable BuildComparisonTable(const std::vector<ComparedTest>& tests, char decimalSeparator);

} // namespace selva
