// The layout of the run's progress screen: each stage draws its heading on
// one row and its percentage on the next, with an empty row between stages.
#pragma once

// Headings and percentages start at the same column.
constexpr int kProgressColumn = 1;

constexpr int kSamplingHeadingRow = 1;
constexpr int kSamplingPercentageRow = 2;
constexpr int kVisibilityHeadingRow = 4;
constexpr int kVisibilityPercentageRow = 5;
constexpr int kBrightnessHeadingRow = 7;
constexpr int kBrightnessPercentageRow = 8;
constexpr int kProjectionHeadingRow = 10;
constexpr int kProjectionPercentageRow = 11;

// Below the stages, after an empty row: the current phase's rate and time left.
constexpr int kEstimateRow = 13;
// A run of several views names the one being worked on after another empty row.
constexpr int kViewRow = 15;
