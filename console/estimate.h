// The text of the row below the stages: how fast the current phase goes and
// how long it has left, estimated from its elapsed time at a steady rate. The
// seconds given are those the phase has run so far, above 0.
#pragma once

#include <cstdint>
#include <string>

// The count with a comma between groups of three digits ("12,345,678").
std::string GroupedCount(uint32_t count);
// Units per second to three significant digits, with a k, M or G prefix
// ("850 /s", "12.3 k/s", "1.23 M/s").
std::string RateText(double per_second);
// The seconds rounded to whole seconds below an hour and to whole minutes
// above ("less than a second left", "about 31 s left", "about 2 min 5 s
// left", "about 1 h 5 min left").
std::string TimeLeftText(double seconds);
// The seconds the rest of total takes when done of it took the seconds given;
// 0 once done reaches total. done must not be 0.
double SecondsLeft(uint32_t done, uint32_t total, double seconds);

// "Samples: 12,345,678 of 50,000,000 - 1.23 M/s - about 31 s left"; without
// a time left while nothing is done.
std::string SamplingEstimate(uint32_t done, uint32_t total, double seconds);
// "Sensor stage: about 4 s left", for the sensor stage that runs; empty while
// nothing of it is done.
std::string SensorEstimate(uint32_t done, uint32_t total, double seconds);
