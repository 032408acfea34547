// The samples file: a data set goes out and comes back bit for bit, and a
// file that cannot serve the run is refused with its reason, never read past
// its end.
#include "transport/samplesfile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/hash64.h"
#include "tests/test_files.h"

namespace {

constexpr int kObjects = 5;
constexpr uint32_t kCapacity = 8;

const TraceOrigin kOrigin{0x1122334455667788ull, TraceSettingsHash(kCapacity, 0.5f), kCapacity};

// A sample whose every field, and every padding byte in memory, differs
// with k.
CVSample NumberedSample(int k) {
  CVSample sample;
  std::memset(&sample, 0xA0 + k, sizeof sample);
  sample.object = int16_t(k % kObjects);
  sample.reserved = uint8_t(k);
  sample.position = vertex3f{1.5f * float(k), -2.0f, 3.25f};
  sample.incoming = vector3f{{0.0f, 1.0f, float(k)}, {0.6f, 0.8f, 0.0f}};
  sample.normal = vector3f{{4.0f, 5.0f, 6.0f}, {0.0f, 0.0f, -float(k)}};
  sample.weight = 1.0f / float(k + 1);
  sample.brightness = 0.125f * float(k);
  sample.absorbed = k % 2 == 1;
  sample.visible = false;
  return sample;
}

struct FilledSet {
  CVDataSet set{};
  explicit FilledSet(uint32_t count) {
    AllocateDataSet(set, kCapacity);
    for (uint32_t k = 0; k < count; ++k) set.samples[k] = NumberedSample(int(k));
    set.count = count;
  }
  ~FilledSet() { FreeDataSet(set); }
};

struct Loaded {
  std::string problem;
  uint32_t count;
  SamplingEnd end;
  std::vector<CVSample> samples;
};

Loaded Load(const std::string& path, TraceOrigin origin = kOrigin) {
  CVDataSet set{};
  AllocateDataSet(set, origin.capacity);
  set.count = 3;  // a refusal must leave the set empty
  SamplingEnd end = kSamplingEmpty;
  NoProgress progress;
  Loaded loaded{ReadSamplesFile(path, origin, kObjects, set, end, progress), set.count, end, {}};
  loaded.samples.assign(set.samples, set.samples + set.count);
  FreeDataSet(set);
  return loaded;
}

std::string Written(const TempDir& dir, uint32_t count, SamplingEnd end = kSamplingFull) {
  FilledSet filled(count);
  std::string path = dir.File("samples");
  EXPECT_TRUE(WriteSamplesFile(path, filled.set, end, kOrigin));
  return ReadFileBytes(path);
}

uint64_t LittleEndian(const std::string& bytes, size_t at, size_t size) {
  uint64_t value = 0;
  for (size_t k = size; k > 0; --k) value = (value << 8) | (unsigned char)bytes[at + k - 1];
  return value;
}

void PutLittleEndian(std::string& bytes, size_t at, uint64_t value, size_t size) {
  for (size_t k = 0; k < size; ++k) bytes[at + k] = char(value >> (8 * k));
}

// The checksum a file with these bytes would carry.
void Reseal(std::string& bytes) {
  Hash64Stream stream = Hash64Begin();
  Hash64Add(stream, bytes.data(), 48);
  Hash64Add(stream, bytes.data() + kSamplesHeaderSize, bytes.size() - kSamplesHeaderSize);
  PutLittleEndian(bytes, 48, Hash64End(stream), 8);
}

bool SameBits(const CVSample& a, const CVSample& b) {
  return a.object == b.object && a.reserved == b.reserved &&
         std::memcmp(&a.position, &b.position, sizeof a.position) == 0 &&
         std::memcmp(&a.incoming, &b.incoming, sizeof a.incoming) == 0 &&
         std::memcmp(&a.normal, &b.normal, sizeof a.normal) == 0 &&
         std::memcmp(&a.weight, &b.weight, sizeof a.weight) == 0 &&
         std::memcmp(&a.brightness, &b.brightness, sizeof a.brightness) == 0 && a.absorbed == b.absorbed &&
         a.visible == b.visible;
}

}  // namespace

TEST(SamplesFile, GivesBackEverySampleAndHowTheSamplingEnded) {
  TempDir dir;
  Written(dir, 6, kSamplingNoHits);
  Loaded loaded = Load(dir.File("samples"));
  ASSERT_EQ(loaded.problem, "");
  EXPECT_EQ(loaded.end, kSamplingNoHits);
  ASSERT_EQ(loaded.count, 6u);
  for (int k = 0; k < 6; ++k) EXPECT_TRUE(SameBits(loaded.samples[k], NumberedSample(k))) << "sample " << k;

  Written(dir, 0, kSamplingNoLight);
  loaded = Load(dir.File("samples"));
  EXPECT_EQ(loaded.problem, "");
  EXPECT_EQ(loaded.count, 0u);
  EXPECT_EQ(loaded.end, kSamplingNoLight);
}

TEST(SamplesFile, LaysOutTheHeaderAndRecordsAsDocumented) {
  TempDir dir;
  std::string bytes = Written(dir, 2);
  ASSERT_EQ(bytes.size(), kSamplesHeaderSize + 2 * kSampleRecordSize);
  EXPECT_EQ(bytes.substr(0, 8), "CVSAMPLE");
  EXPECT_EQ(LittleEndian(bytes, 8, 4), 1u);
  EXPECT_EQ(LittleEndian(bytes, 12, 4), 76u);
  EXPECT_EQ(LittleEndian(bytes, 16, 4), kCapacity);
  EXPECT_EQ(LittleEndian(bytes, 20, 4), 2u);
  EXPECT_EQ(LittleEndian(bytes, 24, 4), uint64_t(kSamplingFull));
  EXPECT_EQ(LittleEndian(bytes, 28, 4), 0u);
  EXPECT_EQ(LittleEndian(bytes, 32, 8), kOrigin.scene_hash);
  EXPECT_EQ(LittleEndian(bytes, 40, 8), kOrigin.settings_hash);
  std::string body = bytes.substr(0, 48) + bytes.substr(kSamplesHeaderSize);
  EXPECT_EQ(LittleEndian(bytes, 48, 8), Hash64(body.data(), body.size()));

  // The second record (k = 1), field by field at its documented offset.
  size_t at = kSamplesHeaderSize + kSampleRecordSize;
  float value = 0;
  EXPECT_EQ(LittleEndian(bytes, at + 0, 2), 1u);  // object
  EXPECT_EQ(LittleEndian(bytes, at + 2, 1), 1u);  // reserved
  for (size_t padding : {3u, 74u, 75u}) EXPECT_EQ(bytes[at + padding], '\0') << "padding " << padding;
  std::memcpy(&value, bytes.data() + at + 4, 4);
  EXPECT_EQ(value, 1.5f);  // position.x
  std::memcpy(&value, bytes.data() + at + 16 + 8, 4);
  EXPECT_EQ(value, 1.0f);  // incoming.origin.z
  std::memcpy(&value, bytes.data() + at + 40 + 20, 4);
  EXPECT_EQ(value, -1.0f);  // normal.direction.z
  std::memcpy(&value, bytes.data() + at + 64, 4);
  EXPECT_EQ(value, 0.5f);  // weight
  std::memcpy(&value, bytes.data() + at + 68, 4);
  EXPECT_EQ(value, 0.125f);         // brightness
  EXPECT_EQ(bytes[at + 72], '\1');  // absorbed
  EXPECT_EQ(bytes[at + 73], '\0');  // visible
}

TEST(SamplesFile, RefusesAFileThatCannotServeTheRun) {
  TempDir dir;
  const std::string good = Written(dir, 3);
  struct Row {
    const char* what;
    std::string bytes;
    TraceOrigin origin;
    std::string problem;
  };
  std::vector<Row> rows;
  auto changed = [&good](size_t at, uint64_t value, size_t size, bool reseal) {
    std::string bytes = good;
    PutLittleEndian(bytes, at, value, size);
    if (reseal) Reseal(bytes);
    return bytes;
  };
  TraceOrigin other_scene = kOrigin;
  other_scene.scene_hash ^= 1;
  TraceOrigin other_chance = kOrigin;
  other_chance.settings_hash = TraceSettingsHash(kCapacity, 0.25f);
  TraceOrigin other_size{kOrigin.scene_hash, TraceSettingsHash(kCapacity + 1, 0.5f), kCapacity + 1};
  rows = {
      {"empty", "", kOrigin, "it is not a samples file"},
      {"another magic", "CVSAMPLX" + good.substr(8), kOrigin, "it is not a samples file"},
      {"a text", "hello\n", kOrigin, "it is not a samples file"},
      {"another version", changed(8, 2, 4, true), kOrigin, "it is version 2, and this corvane reads version 1"},
      {"another record size", changed(12, 80, 4, true), kOrigin, "its header is damaged"},
      {"more samples than room", changed(20, kCapacity + 1, 4, true), kOrigin, "its header is damaged"},
      {"an unknown end", changed(24, 9, 4, true), kOrigin, "its header is damaged"},
      {"another scene", good, other_scene, "it was made for another scene file"},
      {"another size", good, other_size, "it holds a data set of 8 samples, and DATASETSIZE is 9"},
      {"another light chance", good, other_chance, "it was made with another LIGHTCHANCE"},
      {"a changed sample", changed(kSamplesHeaderSize + 70, 0x7F, 1, false), kOrigin,
       "it is damaged: its checksum does not match"},
      {"a changed count", changed(20, 2, 4, false), kOrigin, "it goes on after its last sample"},
      {"a byte more", good + "x", kOrigin, "it goes on after its last sample"},
      {"a flag of 2", changed(kSamplesHeaderSize + kSampleRecordSize + 72, 2, 1, true), kOrigin,
       "sample 1 is damaged: a flag is neither 0 nor 1"},
      {"a padding byte", changed(kSamplesHeaderSize + 3, 1, 1, true), kOrigin,
       "sample 0 is damaged: padding byte 3 is not 0"},
      {"an object outside", changed(kSamplesHeaderSize + 2 * kSampleRecordSize, kObjects, 2, true), kOrigin,
       "sample 2 is damaged: it names object 5 of a scene of 5 objects"},
  };
  for (const Row& row : rows) {
    std::string path = dir.Write("refused", row.bytes);
    Loaded loaded = Load(path, row.origin);
    EXPECT_EQ(loaded.problem, row.problem) << row.what;
    EXPECT_EQ(loaded.count, 0u) << row.what;
  }
  EXPECT_EQ(Load(dir.File("missing")).problem, "it cannot be opened: No such file or directory");
  EXPECT_EQ(Load(dir.path()).problem.substr(0, 22), "it could not be read: ");
}

// Every cut, from nothing to one byte short: the header's, then the records'.
TEST(SamplesFile, RefusesEveryTruncationSayingWhereItEnds) {
  TempDir dir;
  const std::string good = Written(dir, 3);
  for (size_t length = 0; length < good.size(); ++length) {
    Loaded loaded = Load(dir.Write("cut", good.substr(0, length)));
    std::string expected;
    if (length == 0) {
      expected = "it is not a samples file";
    } else if (length < kSamplesHeaderSize) {
      expected = "it ends inside its header, after " + std::to_string(length) + " of 56 bytes";
    } else {
      expected =
          "it ends after " + std::to_string((length - kSamplesHeaderSize) / kSampleRecordSize) + " of its 3 samples";
    }
    EXPECT_EQ(loaded.problem, expected) << "cut after " << length << " bytes";
    EXPECT_EQ(loaded.count, 0u) << "cut after " << length << " bytes";
  }
}

TEST(SamplesFile, WritesTheSameBytesWhateverThePaddingHeld) {
  TempDir dir;
  FilledSet filled(4);
  std::string path = dir.File("samples");
  ASSERT_TRUE(WriteSamplesFile(path, filled.set, kSamplingFull, kOrigin));
  std::string first = ReadFileBytes(path);
  for (uint32_t k = 0; k < 4; ++k) {
    unsigned char* bytes = reinterpret_cast<unsigned char*>(filled.set.samples + k);
    bytes[3] = 0x55;
    bytes[74] = 0x66;
  }
  ASSERT_TRUE(WriteSamplesFile(path, filled.set, kSamplingFull, kOrigin));
  EXPECT_EQ(ReadFileBytes(path), first);
  EXPECT_FALSE(WriteSamplesFile(dir.File("no/such/folder"), filled.set, kSamplingFull, kOrigin));
}

TEST(SamplesFile, HashesTheSceneFileAndTheTwoSettings) {
  TempDir dir;
  std::string scene = "#VRML V2.0 utf8\nPointLight {}\n";
  EXPECT_EQ(SceneFileHash(dir.Write("scene.wrl", scene)), Hash64(scene.data(), scene.size()));
  EXPECT_EQ(SceneFileHash(dir.File("missing.wrl")), Hash64("", 0));
  unsigned char settings[8] = {0x50, 0xC3, 0x00, 0x00, 0x00, 0x00, 0x00, 0x3F};  // 50000, 0.5f
  EXPECT_EQ(TraceSettingsHash(50000, 0.5f), Hash64(settings, sizeof settings));
  EXPECT_NE(TraceSettingsHash(50000, 0.5f), TraceSettingsHash(50001, 0.5f));
}
