// New light paths: rays leaving the point lights (or a triangle).
#pragma once

#include "core/vecmath.h"
#include "scene/scene.h"

// The light that a light-choice draw u0 selects among light_count lights:
// the first i with i/L < u0 < (i+1)/L (strict, step 1/L in double); light 0
// when u0 lies exactly on a boundary or light_count is below 1.
int ChooseLight(float u0, int light_count);

// Three genrand_real3 draws: the light, then z, then phi. A ray from one of
// the scene's lights, chosen with equal chance, in a uniform direction.
// Requires light_count >= 1 (without a light the ray leaves the origin, after
// the same three draws).
vector3f LSShootFromLights(CV_scene scene);

// Two draws (z, phi): a ray from point in a uniform direction.
vector3f LSShootPoint(vertex3f point);

// Five draws (s, t, v, theta, phi): a ray from a random point of the triangle,
// uniform over the hemisphere on the side of its normal.
vector3f LSShootTriangle(CV_triangle triangle);
