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

// The largest of the box's three extents.
float LargestExtent(vertex3f low, vertex3f high);

// A closed box around the model whose triangles face inwards, so that light
// leaving the model comes back to it: the floor at the model's lowest point,
// the walls half a model size (its largest extent) beyond the model on every
// side, the ceiling half a model size above its top. A matt grey surface.
CVImportMesh MakeRoom(vertex3f low, vertex3f high);

// A white light a quarter of the model size above the model's top and, seen
// from above, a quarter of the size beyond the model's box on the side the
// camera looks from (view, from the model towards the eye), so that the faces
// the camera sees are lit. Inside the room of MakeRoom.
CV_light LightAboveModel(vertex3f low, vertex3f high, vertex3f view);
