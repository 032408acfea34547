// Scattering at a surface by the energy-normalised Phong model.
#pragma once

#include "core/vecmath.h"

// Rejected glossy candidates after which ShootNewRay gives up (see there).
constexpr int kGlossyAttemptLimit = 1000;

// kd/pi + ks (n + 2) |cos angle|^n / (2 pi); 0 when kd + ks > 1.
float PhongBRDF(float kd, float ks, float angle, float n);

// PhongBRDF at the angle |acos cosine| (the cosine clamped to -1 .. 1),
// rounded to float; the angle is not formed when its value cannot change
// the result (a material without a glossy part).
float PhongBRDFAtCosine(float kd, float ks, float cosine, float n);

// Samples a direction from the diffuse lobe about the normal (returns 1) or
// the glossy lobe about the mirror direction (returns 2). One draw for the
// lobe, then two per attempt. After kGlossyAttemptLimit rejected glossy
// candidates the new direction is the unit normal.
int ShootNewRay(vector3f mirror, vector3f normal, float kd, float ks, float n, vector3f& new_direction,
                float& lobe_cosine);

// Scatters the incoming ray at hit_point: the new ray (origin hit_point, unit
// direction), the lobe factor |cos| to the mirror direction, and the
// reflectance factor |f cos beta|. Returns ShootNewRay's result.
int MaterialNewRay(vector3f incoming, vector3f normal, vertex3f hit_point, float kd, float ks, float n,
                   float& lobe_factor, vector3f& new_ray, float& reflectance_factor);
