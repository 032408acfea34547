// Samples files from the fuzzer, read into a small data set. An input that
// starts with the magic gets the hashes this harness expects and a checksum
// that matches, so that the fuzzer reaches the records rather than stopping
// at the checksum; the unit tests cover the files that fail it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/hash64.h"
#include "tests/fuzz/fuzz_files.h"
#include "transport/samplesfile.h"

namespace {

constexpr uint32_t kCapacity = 16;
constexpr int kObjects = 8;
constexpr uint64_t kSceneHash = 0x5CE7E5CE7E5CE7E5ull;
const std::string kFileName = "samples.cvs";

void PutLittleEndian(std::string& bytes, size_t at, uint64_t value) {
  for (size_t k = 0; k < 8; ++k) bytes[at + k] = char(value >> (8 * k));
}

// The hashes of the harness's origin and the checksum of the bytes.
void Seal(std::string& bytes, const TraceOrigin& origin) {
  PutLittleEndian(bytes, 32, origin.scene_hash);
  PutLittleEndian(bytes, 40, origin.settings_hash);
  Hash64Stream checksum = Hash64Begin();
  Hash64Add(checksum, bytes.data(), 48);
  Hash64Add(checksum, bytes.data() + kSamplesHeaderSize, bytes.size() - kSamplesHeaderSize);
  PutLittleEndian(bytes, 48, Hash64End(checksum));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InTemporaryDirectory here;
  const TraceOrigin origin{kSceneHash, TraceSettingsHash(kCapacity, 0.5f), kCapacity};
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (bytes.size() >= kSamplesHeaderSize && std::memcmp(bytes.data(), kSamplesMagic, sizeof kSamplesMagic) == 0) {
    Seal(bytes, origin);
  }
  WriteFuzzFile(kFileName, bytes.data(), bytes.size());

  CVDataSet dataset{0, 0, nullptr};
  if (!AllocateDataSet(dataset, kCapacity)) std::abort();
  SamplingEnd end = kSamplingFull;
  NoProgress progress;
  std::string problem = ReadSamplesFile(kFileName, origin, kObjects, dataset, end, progress);
  // A refusal leaves the set empty; an accepted file holds samples the sensor
  // can use: objects of the scene, flags that load as bools (the
  // undefined-behaviour check reports any other byte), a known ending.
  if (!problem.empty() && dataset.count != 0) std::abort();
  if (dataset.count > dataset.capacity) std::abort();
  if (problem.empty() && end > kSamplingNoHits) std::abort();
  for (uint32_t i = 0; i < dataset.count; ++i) {
    const CVSample& sample = dataset.samples[i];
    if (sample.object < 0 || sample.object >= kObjects) std::abort();
    if (int(sample.absorbed) + int(sample.visible) > 2) std::abort();
  }
  FreeDataSet(dataset);
  return 0;
}
