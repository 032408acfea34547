// The virtual sensor: visibility, brightness towards the eye, and projection of
// the samples onto a 1024 by 1024 grid of pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/camera.h"
#include "core/progress.h"
#include "rayquery/rayscene.h"
#include "scene/scene.h"
#include "transport/dataset.h"

struct CVSensor {
  vertex3f eye;
  vertex3f center;
  vertex3f up;
  vertex3f ul;
  vertex3f ur;
  vertex3f dl;
  vertex3f dr;
  float* pixels;  // 4^level floats, row by row from the upper edge
  int level;
};

// Copies the camera's seven points into the sensor and returns 1; pixels and
// level stay as they are.
int AllocateSensor(CVSensor& sensor, const Camera& camera);

// Sets every sample's `visible`, replaces the brightness of the visible ones by
// their brightness towards the eye, and fills a new pixel buffer with the
// largest brightness projected into each pixel. Returns 1, or 0 when memory
// could not be obtained (then pixels is null). Runs on every core of the
// machine (std::thread::hardware_concurrency, at least one thread) and
// reports no progress.
int VisualizeDataSet(CVDataSet& dataset, CVSensor& sensor, CV_scene scene);

// The same on `threads` threads (0 counts as 1), tracing the lines to the eye
// with query. Every sample is worked on independently and the pixel maxima
// are applied in sample order, so the pixels, flags and brightness values are
// the same bits for any count. Reports no progress.
int VisualizeDataSet(CVDataSet& dataset, CVSensor& sensor, CV_scene scene, unsigned threads,
                     RayQuery query = IntersectionRayScene);

// What the sensor stages found, for the run's summary and its warnings.
struct SensorCounts {
  uint32_t visible = 0;    // samples seen from the eye
  uint32_t projected = 0;  // visible samples that reached a pixel
  size_t lit = 0;          // pixels whose value is above 0
};

// The same, reporting the three phases to progress from the calling thread
// only, and counting what the stages found; 0 when memory could not be
// obtained, and then counts holds only the visible samples.
int VisualizeDataSet(CVDataSet& dataset, CVSensor& sensor, CV_scene scene, unsigned threads, RayQuery query,
                     Progress& progress, SensorCounts& counts);

// Depth of the subdivision: the sensor has 2^10 by 2^10 pixels.
constexpr int kSensorLevel = 10;
// Marks a pixel that no sample has reached yet.
constexpr float kEmptyPixel = -1.0f;

// One quadrilateral of the subdivision. `index` is row * 2^k + column within
// level k; `children` are the places of the upper-left, upper-right,
// lower-left and lower-right quarters in level k + 1 (unset in the last level).
struct CVSensorCell {
  int index;
  vertex3f ul;
  vertex3f ur;
  vertex3f dl;
  vertex3f dr;
  int children[4];
};

// Number of pixels (and of level-`level` cells): 4^level.
size_t SensorCellCount(int level);

// The line meets the cell's front face ahead of its origin, in the triangle
// (dl, ul, ur) or else in (dl, ur, dr).
bool CellHitByLine(vector3f line, const CVSensorCell& cell);

// The four quarters of cell in test order (upper left, upper right, lower
// left, lower right), split by midpoints in one fixed order, so that every
// corner is the same float at any depth; their index and children are unset.
void SplitSensorCell(const CVSensorCell& cell, CVSensorCell quarters[4]);

// Whether the eye sees the sample: its surface faces the eye and the line
// towards the eye, traced with query, meets no object but object 0.
bool SampleVisibleFromEye(CVSample sample, vertex3f eye, CV_scene scene, RayQuery query = IntersectionRayScene);

// weight * |f * cos beta|, with f the reflectance of the sample's object
// towards the eye; 0 when the sample's object is not in the scene.
float BrightnessTowardsEye(CVSample sample, vertex3f eye, CV_scene scene);

// Keeps the larger brightness in the pixel; an empty pixel takes any value.
void ApplyPixelMaximum(float& pixel, float brightness);

// Sets every pixel that no sample reached from the empty mark to 0.
void ClearEmptyPixels(float* pixels, size_t count);

// Samples handed to a thread at a time; also how often the progress moves.
constexpr uint32_t kSamplesPerChunk = 256;

// Marks a sample that reaches no pixel (lost or invisible).
constexpr int32_t kSensorNoPixel = -1;

// Stage 1: sets `visible` of every sample on `threads` threads, tracing with
// query; only the calling thread reports kVisibilityPhase to progress.
// Returns the number of visible samples.
uint32_t MarkVisibleSamples(CVDataSet& dataset, vertex3f eye, CV_scene scene, unsigned threads, Progress& progress,
                            RayQuery query = IntersectionRayScene);

// Stage 2: replaces the brightness of every visible sample on `threads`
// threads; only the calling thread reports kBrightnessPhase to progress.
void ComputeBrightness(CVDataSet& dataset, vertex3f eye, CV_scene scene, unsigned threads, Progress& progress);

struct CVSensorProjection;
// Finds the place of the level-10 cell the line reaches, or -1.
using PixelSearch = int (*)(vector3f line, const CVSensorProjection& sensor);
int FindSensorPixelByProjection(vector3f line, const CVSensorProjection& sensor);

// Stage 3: the pixel of every visible sample is found with search on
// `threads` threads into pixel_of (one entry per sample, kSensorNoPixel when
// none), then the maxima are applied on the calling thread in sample order,
// since with a NaN brightness the order decides. Only the calling thread
// reports kProjectionPhase to progress. Returns the number of samples that
// reached a pixel.
uint32_t ProjectVisibleSamples(const CVDataSet& dataset, const CVSensor& sensor, float* pixels, int32_t* pixel_of,
                               unsigned threads, Progress& progress, PixelSearch search = FindSensorPixelByProjection);
