// Where the model goes in the scene and what surrounds it: its scale and
// position, the room around it and the light above it.
#pragma once

#include "import/model.h"

// The model's scene size when no scale is given: the largest extent of its box,
// in scene units. Corvane's triangle test has absolute tolerances (0.0001) and
// its sensor resolves single pixels when a few hundred units wide.
constexpr double kDefaultModelSize = 400.0;

// A scene point is scale * model point + offset, formed in double and rounded
// to float once; low and high are the corners of the placed model's box.
struct CVPlacement {
  double scale;
  double offset[3];
  vertex3f low;
  vertex3f high;
};

// Scales the model uniformly (by scale when it is above 0, otherwise so that
// the largest extent of its box becomes size) and moves it so that its box is
// centred on the y axis with its lowest point at y = 0. Changes every point of
// every mesh and every light location; returns the values used.
CVPlacement PlaceModel(CVImportModel& model, double scale, double size);

// Widens the box [low, high] to take in p.
void WidenBox(vertex3f p, vertex3f& low, vertex3f& high);

// The largest of the box's three extents.
float LargestExtent(vertex3f low, vertex3f high);

// A closed box around the model's box [low, high] whose triangles face
// inwards, so that light leaving the model comes back to it and every light
// path finds a surface: the floor at the model's lowest point, the walls a
// tenth of the model size (its largest extent) beyond the model's box, the
// ceiling 0.3 of the size above its top, each moved out further where a light
// would lie outside or less than a tenth of the size inside. A dark matt surface (kd 0.15), so that the model, which
// gets most of the direct light, stands out against it.
CVImportMesh MakeRoom(vertex3f low, vertex3f high, const std::vector<CV_light>& lights);

// A white light on the camera's side of the model, raised a little, as a lamp
// beside the eye would stand: in direction unit(unit(view) + 0.3 y) from the
// centre of the box [low, high], 0.3 of the model size beyond the box's
// extent in that direction (view, from the model towards the eye). The faces
// the camera sees are the ones it lights, from any view: from above it
// stands over the model, from below under it, from a side beside it.
CV_light LightOnCameraSide(vertex3f low, vertex3f high, vertex3f view);
