// Which way a mesh's triangles face. A triangle's front is the side from which
// its corners run counter-clockwise; Corvane's triangles are one-sided, so a
// mesh whose fronts face inwards shows nothing of its outside.
#pragma once

#include "import/model.h"

// True when every edge of the mesh, with points compared by position, is
// shared by exactly two triangles (a closed surface).
bool IsClosedMesh(const CVImportMesh& mesh);

// Six times the volume the triangles enclose, in double precision: positive
// when the fronts of a closed mesh face outwards, negative when they face inwards.
double SignedVolume(const CVImportMesh& mesh);

// True when the mesh is closed and its fronts face inwards.
bool FacesInward(const CVImportMesh& mesh);

// Reverses the corner order of every triangle, turning its front round.
void FlipWinding(CVImportMesh& mesh);
