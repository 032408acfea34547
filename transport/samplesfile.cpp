#include "transport/samplesfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/check.h"
#include "core/hash64.h"

// Records are the samples' bytes in memory, so the disk's byte order must be
// the host's: both platforms Corvane builds on (x86-64, aarch64) are
// little-endian.
#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the samples file is read and written as little-endian memory"
#endif

static_assert(sizeof(bool) == 1, "absorbed and visible are one byte each");
static_assert(offsetof(CVSample, object) == 0, "record layout");
static_assert(offsetof(CVSample, reserved) == 2, "record layout");
static_assert(offsetof(CVSample, position) == 4, "record layout");
static_assert(offsetof(CVSample, incoming) == 16, "record layout");
static_assert(offsetof(CVSample, normal) == 40, "record layout");
static_assert(offsetof(CVSample, weight) == 64, "record layout");
static_assert(offsetof(CVSample, brightness) == 68, "record layout");
static_assert(offsetof(CVSample, absorbed) == 72, "record layout");
static_assert(offsetof(CVSample, visible) == 73, "record layout");
static_assert(sizeof(CVSample) == kSampleRecordSize, "record layout");

namespace {

// The padding bytes of a record, written as 0.
constexpr size_t kPaddingOffsets[] = {3, 74, 75};

// Records moved per read or write: about 5 MB, large enough that the system
// calls cost nothing beside the bytes, small enough to stay in the cache
// while they are checked and hashed.
constexpr size_t kRecordsPerBlock = 65536;

// Offsets of the header's fields.
constexpr size_t kVersionAt = 8;
constexpr size_t kRecordSizeAt = 12;
constexpr size_t kCapacityAt = 16;
constexpr size_t kCountAt = 20;
constexpr size_t kEndAt = 24;
constexpr size_t kReservedAt = 28;
constexpr size_t kSceneHashAt = 32;
constexpr size_t kSettingsHashAt = 40;
constexpr size_t kChecksumAt = 48;

void Put(unsigned char* at, uint64_t value, size_t size) {
  for (size_t k = 0; k < size; ++k) at[k] = (unsigned char)(value >> (8 * k));
}

uint64_t Get(const unsigned char* at, size_t size) {
  uint64_t value = 0;
  for (size_t k = size; k > 0; --k) value = (value << 8) | at[k - 1];
  return value;
}

bool WriteAll(std::FILE* out, const void* bytes, size_t size) { return std::fwrite(bytes, 1, size, out) == size; }

// Reads up to size bytes, fewer only at the end of the file or when reading
// fails (then failed is set and errno tells why). Returns the bytes read.
size_t ReadUpTo(int descriptor, void* bytes, size_t size, bool& failed) {
  unsigned char* at = static_cast<unsigned char*>(bytes);
  size_t done = 0;
  while (done < size) {
    ssize_t got = read(descriptor, at + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    failed = got < 0;
    if (got <= 0) break;
    done += size_t(got);
  }
  return done;
}

std::string ReadFailure() { return std::string("it could not be read: ") + std::strerror(errno); }

// What is wrong with a record as the sampling loop never writes it, or empty.
std::string RecordProblem(const unsigned char* record, int object_count) {
  for (size_t at : kPaddingOffsets) {
    if (record[at] != 0) return "padding byte " + std::to_string(at) + " is not 0";
  }
  if (record[offsetof(CVSample, absorbed)] > 1 || record[offsetof(CVSample, visible)] > 1) {
    return "a flag is neither 0 nor 1";
  }
  int16_t object = 0;
  std::memcpy(&object, record + offsetof(CVSample, object), sizeof object);
  if (object < 0 || object >= object_count) {
    return "it names object " + std::to_string(object) + " of a scene of " + std::to_string(object_count) + " objects";
  }
  return "";
}

// The header's verdict: why the file cannot serve this trace, or empty.
std::string HeaderProblem(const unsigned char* header, size_t got, TraceOrigin origin) {
  size_t compared = got < sizeof kSamplesMagic ? got : sizeof kSamplesMagic;
  if (got == 0 || std::memcmp(header, kSamplesMagic, compared) != 0) return "it is not a samples file";
  if (got < kSamplesHeaderSize) {
    return "it ends inside its header, after " + std::to_string(got) + " of " + std::to_string(kSamplesHeaderSize) +
           " bytes";
  }
  uint64_t version = Get(header + kVersionAt, 4);
  if (version != kSamplesVersion) {
    return "it is version " + std::to_string(version) + ", and this corvane reads version " +
           std::to_string(kSamplesVersion);
  }
  uint64_t capacity = Get(header + kCapacityAt, 4);
  uint64_t count = Get(header + kCountAt, 4);
  if (Get(header + kRecordSizeAt, 4) != kSampleRecordSize || Get(header + kReservedAt, 4) != 0 || count > capacity ||
      Get(header + kEndAt, 4) > kSamplingNoHits) {
    return "its header is damaged";
  }
  if (Get(header + kSceneHashAt, 8) != origin.scene_hash) return "it was made for another scene file";
  if (capacity != origin.capacity) {
    return "it holds a data set of " + std::to_string(capacity) + " samples, and DATASETSIZE is " +
           std::to_string(origin.capacity);
  }
  if (Get(header + kSettingsHashAt, 8) != origin.settings_hash) return "it was made with another LIGHTCHANCE";
  return "";
}

// Reads count records into samples, block by block, hashing them into
// checksum. Returns why they could not be read whole, or empty; damaged
// receives what is wrong with the first record the sampling loop could not
// have written.
std::string ReadRecords(int descriptor, uint32_t count, int object_count, CVSample* samples, Hash64Stream& checksum,
                        Progress& progress, std::string& damaged) {
  unsigned char* bytes = reinterpret_cast<unsigned char*>(samples);
  for (uint32_t done = 0; done < count;) {
    size_t records = count - done < kRecordsPerBlock ? count - done : kRecordsPerBlock;
    unsigned char* block = bytes + size_t(done) * kSampleRecordSize;
    bool failed = false;
    size_t got = ReadUpTo(descriptor, block, records * kSampleRecordSize, failed);
    if (failed) return ReadFailure();
    if (got < records * kSampleRecordSize) {
      return "it ends after " + std::to_string(done + got / kSampleRecordSize) + " of its " + std::to_string(count) +
             " samples";
    }
    Hash64Add(checksum, block, got);
    for (size_t r = 0; r < records && damaged.empty(); ++r) {
      std::string problem = RecordProblem(block + r * kSampleRecordSize, object_count);
      if (!problem.empty()) damaged = "sample " + std::to_string(done + r) + " is damaged: " + problem;
    }
    done += uint32_t(records);
    progress.Advance(done, count);
  }
  return "";
}

std::string ReadOpenSamplesFile(int descriptor, TraceOrigin origin, int object_count, CVDataSet& dataset,
                                SamplingEnd& end, Progress& progress) {
  unsigned char header[kSamplesHeaderSize];
  bool failed = false;
  size_t got = ReadUpTo(descriptor, header, sizeof header, failed);
  if (failed) return ReadFailure();
  std::string problem = HeaderProblem(header, got, origin);
  if (!problem.empty()) return problem;
  CORVANE_CHECK(dataset.capacity == origin.capacity);

  uint32_t count = uint32_t(Get(header + kCountAt, 4));
  Hash64Stream checksum = Hash64Begin();
  Hash64Add(checksum, header, kChecksumAt);
  std::string damaged;
  problem = ReadRecords(descriptor, count, object_count, dataset.samples, checksum, progress, damaged);
  if (!problem.empty()) return problem;
  unsigned char extra = 0;
  if (ReadUpTo(descriptor, &extra, 1, failed) != 0) return "it goes on after its last sample";
  if (failed) return ReadFailure();
  if (Hash64End(checksum) != Get(header + kChecksumAt, 8)) return "it is damaged: its checksum does not match";
  if (!damaged.empty()) return damaged;
  dataset.count = count;
  end = SamplingEnd(Get(header + kEndAt, 4));
  return "";
}

}  // namespace

uint64_t SceneFileHash(const std::string& name) {
  Hash64Stream stream = Hash64Begin();
  std::FILE* in = std::fopen(name.c_str(), "rb");
  if (in == nullptr) return Hash64End(stream);
  std::vector<unsigned char> block(1 << 20);
  for (size_t got; (got = std::fread(block.data(), 1, block.size(), in)) > 0;) Hash64Add(stream, block.data(), got);
  std::fclose(in);
  return Hash64End(stream);
}

uint64_t TraceSettingsHash(uint32_t dataset_size, float light_chance) {
  uint32_t chance_bits = 0;
  std::memcpy(&chance_bits, &light_chance, sizeof chance_bits);
  unsigned char bytes[8];
  Put(bytes, dataset_size, 4);
  Put(bytes + 4, chance_bits, 4);
  return Hash64(bytes, sizeof bytes);
}

bool WriteSamplesFile(const std::string& path, const CVDataSet& dataset, SamplingEnd end, TraceOrigin origin) {
  unsigned char header[kSamplesHeaderSize] = {};
  std::memcpy(header, kSamplesMagic, sizeof kSamplesMagic);
  Put(header + kVersionAt, kSamplesVersion, 4);
  Put(header + kRecordSizeAt, kSampleRecordSize, 4);
  Put(header + kCapacityAt, origin.capacity, 4);
  Put(header + kCountAt, dataset.count, 4);
  Put(header + kEndAt, uint64_t(end), 4);
  Put(header + kSceneHashAt, origin.scene_hash, 8);
  Put(header + kSettingsHashAt, origin.settings_hash, 8);
  Hash64Stream checksum = Hash64Begin();
  Hash64Add(checksum, header, kChecksumAt);

  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  bool written = WriteAll(out, header, sizeof header);
  std::vector<unsigned char> block(kRecordsPerBlock * kSampleRecordSize);
  for (uint32_t done = 0; written && done < dataset.count;) {
    size_t records = dataset.count - done < kRecordsPerBlock ? dataset.count - done : kRecordsPerBlock;
    std::memcpy(block.data(), dataset.samples + done, records * kSampleRecordSize);
    for (size_t r = 0; r < records; ++r) {
      for (size_t at : kPaddingOffsets) block[r * kSampleRecordSize + at] = 0;
    }
    Hash64Add(checksum, block.data(), records * kSampleRecordSize);
    written = WriteAll(out, block.data(), records * kSampleRecordSize);
    done += uint32_t(records);
  }
  Put(header + kChecksumAt, Hash64End(checksum), 8);
  written = written && std::fseek(out, long(kChecksumAt), SEEK_SET) == 0 && WriteAll(out, header + kChecksumAt, 8);
  if (std::fflush(out) != 0 || std::ferror(out) != 0) written = false;
  if (std::fclose(out) != 0) written = false;
  return written;
}

std::string ReadSamplesFile(const std::string& path, TraceOrigin origin, int object_count, CVDataSet& dataset,
                            SamplingEnd& end, Progress& progress) {
  dataset.count = 0;
  int descriptor = open(path.c_str(), O_RDONLY);
  if (descriptor < 0) return std::string("it cannot be opened: ") + std::strerror(errno);
  std::string problem = ReadOpenSamplesFile(descriptor, origin, object_count, dataset, end, progress);
  close(descriptor);
  if (!problem.empty()) dataset.count = 0;
  return problem;
}
