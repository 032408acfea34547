// Reader of the scene file: a fixed, line-oriented layout of VRML 2.0 text.
// It finds lines by plain substring search and takes numbers from them; it is
// not a VRML parser.
#pragma once

#include <cstdint>
#include <string>

#include "core/linetext.h"
#include "core/vecmath.h"
#include "scene/records.h"

// Keywords and separators of the scene file; the separators it shares with
// the settings file are in core/linetext.h.
extern const std::string P_IFF;                 // "#VRML V2.0 utf8"
extern const std::string P_OBJECT;              // "geometry"
extern const std::string P_OBJECT_TRANSLATION;  // "translation"
extern const std::string P_OBJECT_ROTATION;     // "rotation"
extern const std::string P_OBJECT_MATERIAL;     // "diffuseColor"
extern const std::string P_OBJECT_POINT;        // "point"
extern const std::string P_OBJECT_COORDINDEX;   // "coordIndex"
extern const std::string P_LIGHT;               // "PointLight"
extern const std::string P_LIGHT_LOCATION;      // "location"
extern const std::string P_LIGHT_COLOR;         // "color"
extern const std::string P_LIGHT_INTENSITY;     // "intensity"
extern const std::string P_TAB;                 // "\t"
extern const std::string P_SLDBRKT_L;           // "["
extern const std::string P_SLDBRKT_R;           // "]"
extern const std::string P_CRLBRKT_L;           // "{"
extern const std::string P_CRLBRKT_R;           // "}"
extern const std::string P_MINUSONE;            // "-1"
extern const std::string P_NEWLINE;             // "\n"

// A sample keeps its object index in 16 signed bits: a scene may hold object
// indices 0 to 32767 and no more.
constexpr int32_t kMaxObjects = 32768;

struct CV_face {
  int32_t index[3];
};

struct CV_parser_object {
  float diffuse;
  float specular;
  float exponent;
  vertex3f translation;
  vector3f rotation_axis;
  float rotation_angle;
  int32_t point_count;
  vertex3f* points;  // malloc'd, already rotated and translated into scene space
  int32_t face_count;
  CV_face* faces;  // malloc'd; every index lies in 0 .. point_count - 1
};

struct CV_parser_data {
  int32_t object_count;
  CV_parser_object* objects;  // malloc'd
  int32_t light_count;
  CV_light* lights;  // malloc'd
};

// Reads the named file into data; the caller owns the arrays. A missing or
// unreadable file gives no objects and no lights. Returns 1, or 0 when the
// file holds more objects than kMaxObjects: then data holds no objects and no
// lights and the reason has been reported. Problems of the input (faces with
// indices outside the point list, which are dropped; missing values, which
// read as 0; lists the file ends in) are reported with ReportInputProblem. A
// file outside the reader's layout (see vrmllayout.h), or one that gives no
// face, is named once, before the other problems, with the advice to convert
// it with corvane-import; what is read from it stays the same.
int ReadDataFile(std::string filename, CV_parser_data& data);

// Releases every array of data and leaves it empty.
void FreeParserData(CV_parser_data& data);
