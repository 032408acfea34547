#include "sensor/exrimage.h"

#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfOutputFile.h>
#include <OpenEXR/ImfStandardAttributes.h>

#include <exception>

#include "sensor/tempfile.h"

namespace {

// OpenEXR reports every failure, from a full disk to a bad path, by throwing.
bool WriteExrFile(const std::string& path, const CVSensor& sensor, const std::string& settings) {
  int side = 1 << sensor.level;
  try {
    Imf::Header header(side, side);
    header.channels().insert(kExrChannel, Imf::Channel(Imf::FLOAT));
    Imf::addComments(header, settings);
    Imf::OutputFile file(path.c_str(), header);
    Imf::FrameBuffer frame;
    frame.insert(kExrChannel, Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(sensor.pixels), sizeof(float),
                                         sizeof(float) * size_t(side)));
    file.setFrameBuffer(frame);
    file.writePixels(side);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

bool WriteSensorExr(const std::string& name, const CVSensor& sensor, const std::string& settings) {
  return WriteViaTemporary(name,
                           [&](const std::string& temporary) { return WriteExrFile(temporary, sensor, settings); });
}
