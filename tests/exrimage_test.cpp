#include "sensor/exrimage.h"

#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfInputFile.h>
#include <OpenEXR/ImfStandardAttributes.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <limits>
#include <vector>

#include "tests/test_files.h"

// Every float comes back with its bits, row 0 (the edge ul-ur) at the top
// and ul at the left, beside the run's settings.
TEST(ExrImage, HoldsTheSensorsFloatsOrientedAsThePicture) {
  const int level = 3;
  const int side = 1 << level;
  std::vector<float> pixels(SensorCellCount(level));
  for (size_t p = 0; p < pixels.size(); ++p) pixels[p] = float(p) * 0.37f;
  pixels[1] = std::numeric_limits<float>::denorm_min();
  pixels[2] = 3.0e38f;
  CVSensor sensor{};
  sensor.pixels = pixels.data();
  sensor.level = level;
  TempDir dir;
  ASSERT_TRUE(WriteSensorExr(dir.File("out.exr"), sensor, "WIREFRAME=0;"));

  Imf::InputFile file(dir.File("out.exr").c_str());
  const Imath::Box2i window = file.header().dataWindow();
  EXPECT_EQ(window.min.x, 0);
  EXPECT_EQ(window.min.y, 0);
  EXPECT_EQ(window.max.x, side - 1);
  EXPECT_EQ(window.max.y, side - 1);
  const Imf::Channel* channel = file.header().channels().findChannel("Y");
  ASSERT_NE(channel, nullptr);
  EXPECT_EQ(channel->type, Imf::FLOAT);
  ASSERT_TRUE(Imf::hasComments(file.header()));
  EXPECT_EQ(Imf::comments(file.header()), "WIREFRAME=0;");

  std::vector<float> read(pixels.size(), -1.0f);
  Imf::FrameBuffer frame;
  frame.insert(
      "Y", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(read.data()), sizeof(float), sizeof(float) * size_t(side)));
  file.setFrameBuffer(frame);
  file.readPixels(0, side - 1);
  EXPECT_EQ(std::memcmp(read.data(), pixels.data(), pixels.size() * sizeof(float)), 0);
}

TEST(ExrImage, LeavesNoTemporaryWhenItCannotTakeItsName) {
  std::vector<float> pixels(SensorCellCount(2), 1.0f);
  CVSensor sensor{};
  sensor.pixels = pixels.data();
  sensor.level = 2;
  TempDir dir;
  std::filesystem::create_directory(dir.File("taken.exr"));
  EXPECT_FALSE(WriteSensorExr(dir.File("taken.exr"), sensor, ""));
  EXPECT_FALSE(WriteSensorExr(dir.File("missing/out.exr"), sensor, ""));
  std::filesystem::directory_iterator entries(dir.path());
  EXPECT_EQ(std::distance(begin(entries), end(entries)), 1) << "only the folder in the way is left";
}
