// The picture to look at: the sensor's pixels as an 8-bit grey PNG, seen from
// the eye, exposed and encoded with the sRGB curve. out.ppm is not this.
#pragma once

#include <cstddef>
#include <string>

#include "sensor/sensor.h"

// Under automatic exposure, this rank (in thousandths) of the lit pixels
// becomes white: the few brightest pixels, often single bright samples, are
// allowed to saturate so that they do not leave the rest of the picture dark.
constexpr size_t kWhiteRankThousandths = 995;

// The tEXt keyword under which the run's settings travel with the picture.
constexpr const char* kSettingsKeyword = "Settings";

// One over the 99.5th percentile (nearest rank) of the lit pixels, finite
// values above 0: the factor that makes that pixel white. 1 when none is lit.
double AutomaticExposure(const CVSensor& sensor);

// value * exposure, formed in double, encoded with the sRGB curve and rounded
// to the nearest of 256 steps. NaN and values up to 0 are black, 1 and above
// (infinity too) white.
unsigned char PictureByte(float value, double exposure);

// Writes the sensor's pixels, each through PictureByte, as an 8-bit grey PNG
// called name: row by row from the edge ul-ur at the top, ul at the top left,
// neither transposed nor mirrored. The PNG says it is sRGB and carries
// settings as text. The file is written beside name and renamed into place;
// returns false when it could not be written, and an earlier file is then
// left as it was.
bool WritePicture(const std::string& name, const CVSensor& sensor, double exposure, const std::string& settings);
