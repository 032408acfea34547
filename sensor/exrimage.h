// The sensor's float values as a one-channel OpenEXR image, for people who
// expose and tone-map the picture themselves.
#pragma once

#include <string>

#include "sensor/sensor.h"

// The channel name: viewers show a lone Y channel as grey.
constexpr const char* kExrChannel = "Y";

// Writes the sensor's pixels unchanged, as 32-bit floats in channel Y of an
// OpenEXR file called name, oriented as the picture (ul at the top left, row
// ul-ur at the top), with settings as the image's comments. Written beside
// name and renamed into place; returns false when it could not be written,
// and an earlier file is then left as it was.
bool WriteSensorExr(const std::string& name, const CVSensor& sensor, const std::string& settings);
