#include "scene/vrmlreader.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "core/messages.h"
#include "scene/vrmlfields.h"
#include "scene/vrmllayout.h"

const std::string P_IFF = "#VRML V2.0 utf8";
const std::string P_OBJECT = "geometry";
const std::string P_OBJECT_TRANSLATION = "translation";
const std::string P_OBJECT_ROTATION = "rotation";
const std::string P_OBJECT_MATERIAL = "diffuseColor";
const std::string P_OBJECT_POINT = "point";
const std::string P_OBJECT_COORDINDEX = "coordIndex";
const std::string P_LIGHT = "PointLight";
const std::string P_LIGHT_LOCATION = "location";
const std::string P_LIGHT_COLOR = "color";
const std::string P_LIGHT_INTENSITY = "intensity";
const std::string P_TAB = "\t";
const std::string P_SLDBRKT_L = "[";
const std::string P_SLDBRKT_R = "]";
const std::string P_CRLBRKT_L = "{";
const std::string P_CRLBRKT_R = "}";
const std::string P_MINUSONE = "-1";
const std::string P_NEWLINE = "\n";

void FreeParserData(CV_parser_data& data) {
  for (int32_t i = 0; i < data.object_count && data.objects != nullptr; ++i) {
    std::free(data.objects[i].points);
    std::free(data.objects[i].faces);
  }
  std::free(data.objects);
  std::free(data.lights);
  data = CV_parser_data{0, nullptr, 0, nullptr};
}

namespace {

// The scene file read line by line; number is the 1-based number of the
// current line.
struct SceneLines {
  std::ifstream file;
  std::string name;
  std::string line;
  long long number = 0;
  // Set once the file is known not to be in the reader's layout: what the
  // reader then finds missing follows from that, and is only counted.
  bool layout_broken = false;
  long long consequences = 0;
};

// Every pass starts at the beginning of the file.
void Rewind(SceneLines& lines) {
  lines.file.clear();
  lines.file.seekg(0);
  lines.line.clear();
  lines.number = 0;
}

// Reads the next line into lines.line; false (and an empty line) at the end of the file.
bool NextLine(SceneLines& lines) {
  if (!std::getline(lines.file, lines.line)) {
    lines.line.clear();
    return false;
  }
  lines.number++;
  return true;
}

// Reads on from the line after the current one until a line contains
// keyword; false when the file ends first.
bool FindLineWith(SceneLines& lines, const std::string& keyword) {
  lines.line.clear();
  while (NextLine(lines)) {
    if (LineContains(lines.line, keyword)) return true;
  }
  return false;
}

// Counts the lines that contain entry up to and including the first line that
// contains "]"; closed tells whether that line was found before the end.
int32_t CountListEntries(SceneLines& lines, const std::string& entry, bool& closed) {
  long long count = 0;
  closed = false;
  while (NextLine(lines)) {
    if (LineContains(lines.line, entry)) count++;
    if (LineContains(lines.line, P_SLDBRKT_R)) {
      closed = true;
      break;
    }
  }
  // Beyond int32 the file would be gigabytes of list lines; the list is cut there.
  return count > INT32_MAX ? INT32_MAX : int32_t(count);
}

std::string Where(const SceneLines& lines, long long line) {
  return "corvane: " + lines.name + ":" + std::to_string(line) + ": ";
}

std::string Where(const SceneLines& lines) { return Where(lines, lines.number); }

std::string WhereFile(const SceneLines& lines) { return "corvane: " + lines.name + ": "; }

std::string ObjectName(int32_t i) { return "object " + std::to_string(i); }

// A problem the reader found while reading lines.
void Complain(SceneLines& lines, const std::string& message) {
  if (lines.layout_broken) {
    lines.consequences++;
    return;
  }
  ReportInputProblem(message);
}

// Zero-filled array of count records; with count 0, or when the memory cannot
// be had (reported), a null array and count 0.
template <typename T>
T* AllocateArray(int32_t& count, const std::string& what) {
  if (count <= 0) {
    count = 0;
    return nullptr;
  }
  T* array = static_cast<T*>(std::calloc(size_t(count), sizeof(T)));
  if (array == nullptr) {
    ReportInputProblem("corvane: not enough memory for " + std::to_string(count) + " " + what + "; they are left out");
    count = 0;
  }
  return array;
}

// The name as a path a person can open: relative names from the working
// directory.
std::string FullPath(const std::string& filename) {
  std::error_code error;
  std::filesystem::path full = std::filesystem::absolute(filename, error);
  return Printable(error ? filename : full.string());
}

// False, with the reason for the empty image, when no scene can come from the
// named file; the scene is then empty. A missing file is not an error of the
// run.
bool SceneFileUsable(const std::string& filename) {
  const std::string black = "; the scene is empty, so the image is black";
  if (filename.empty()) {
    ReportEmptyImageReason("corvane: no scene file was named (SCENEFILENAME is not set)" + black +
                           "; set SCENEFILENAME in corvane.cfg or with -D SCENEFILENAME=FILE");
    return false;
  }
  std::error_code ignored;
  if (std::filesystem::is_directory(filename, ignored)) {
    ReportEmptyImageReason("corvane: scene file \"" + Printable(filename) + "\" is a directory, " + FullPath(filename) +
                           black + "; SCENEFILENAME names the scene's .wrl file");
    return false;
  }
  std::FILE* probe = std::fopen(filename.c_str(), "r");
  if (probe == nullptr) {
    ReportEmptyImageReason("corvane: scene file \"" + Printable(filename) + "\" could not be read: " +
                           FullPath(filename) + ": " + std::strerror(errno) + black + "; check SCENEFILENAME");
    return false;
  }
  std::fclose(probe);
  return true;
}

// What to do with a file that is not in the reader's layout.
std::string ConvertAdvice(const std::string& filename) {
  return "; convert it with corvane-import " + Printable(filename);
}

long long FaceCount(const CV_parser_data& data) {
  long long count = 0;
  for (int32_t i = 0; i < data.object_count; ++i) count += data.objects[i].face_count;
  return count;
}

// Pass 2: the point and face counts of every object, and their arrays.
void ReadListSizes(SceneLines& lines, CV_parser_data& data) {
  Rewind(lines);
  for (int32_t i = 0; i < data.object_count; ++i) {
    CV_parser_object& object = data.objects[i];
    bool closed = false;
    if (!FindLineWith(lines, P_OBJECT_POINT)) {
      Complain(lines, WhereFile(lines) + ObjectName(i) + " has no point list; it has no points");
    } else {
      long long start = lines.number;
      object.point_count = CountListEntries(lines, P_COLON, closed);
      if (!closed) {
        Complain(lines, "corvane: " + lines.name + ":" + std::to_string(start) + ": the point list of " +
                            ObjectName(i) + " is not closed with \"]\" before the end of the file");
      }
    }
    if (!FindLineWith(lines, P_OBJECT_COORDINDEX)) {
      Complain(lines, WhereFile(lines) + ObjectName(i) + " has no face list; it has no faces");
    } else {
      long long start = lines.number;
      object.face_count = CountListEntries(lines, P_MINUSONE, closed);
      if (!closed) {
        Complain(lines, "corvane: " + lines.name + ":" + std::to_string(start) + ": the face list of " + ObjectName(i) +
                            " is not closed with \"]\" before the end of the file");
      }
    }
    object.points = AllocateArray<vertex3f>(object.point_count, "points of " + ObjectName(i));
    object.faces = AllocateArray<CV_face>(object.face_count, "faces of " + ObjectName(i));
  }
}

// Reads the line after a PointLight line and parses it after keyword. A line
// without the keyword, or no line at all, gives zeros (reported).
CV_line_values ReadLightLine(SceneLines& lines, int32_t light, const std::string& keyword, int value_count) {
  std::string name = "light " + std::to_string(light);
  std::string zero = value_count == 1 ? "0" : "0 0 0";
  if (!NextLine(lines)) {
    Complain(lines, WhereFile(lines) + "the file ends before the " + keyword + " line of " + name + "; its " + keyword +
                        " is " + zero);
    return CV_line_values{0, 0, 0, 0, 0};
  }
  if (!LineContains(lines.line, keyword)) {
    Complain(lines, Where(lines) + "the " + keyword + " line of " + name + " was expected here; its " + keyword +
                        " is " + zero);
    return CV_line_values{0, 0, 0, 0, 0};
  }
  CV_line_values values = ParseKeywordLine(lines.line, keyword, value_count);
  if (values.count < value_count) {
    Complain(lines, Where(lines) + "the " + keyword + " line of " + name + " gives " + std::to_string(values.count) +
                        " values, not " + std::to_string(value_count) + "; the missing ones are 0");
  }
  return values;
}

// Pass 3: location, colour and intensity of every light.
void ReadLights(SceneLines& lines, CV_parser_data& data) {
  Rewind(lines);
  for (int32_t j = 0; j < data.light_count; ++j) {
    CV_light& light = data.lights[j];
    // A PointLight line can stand among the three lines of the light before;
    // it is then used up and a later light finds no line of its own.
    if (!FindLineWith(lines, P_LIGHT)) {
      Complain(lines, WhereFile(lines) + "light " + std::to_string(j) +
                          " has no PointLight line after the lines of the light before; its values are 0");
      continue;
    }
    CV_line_values location = ReadLightLine(lines, j, P_LIGHT_LOCATION, 3);
    light.location = vertex3f{location.first, location.second, location.third};
    CV_line_values color = ReadLightLine(lines, j, P_LIGHT_COLOR, 3);
    light.color = color3f{color.first, color.second, color.third};
    CV_line_values intensity = ReadLightLine(lines, j, P_LIGHT_INTENSITY, 1);
    light.intensity = intensity.first;
  }
}

// Finds the next line with keyword and parses it; false (reported, values 0)
// when the file ends first.
bool ReadObjectLine(SceneLines& lines, int32_t i, const std::string& keyword, int value_count,
                    const std::string& consequence, CV_line_values& values) {
  values = CV_line_values{0, 0, 0, 0, 0};
  if (!FindLineWith(lines, keyword)) {
    Complain(lines, WhereFile(lines) + ObjectName(i) + " has no " + keyword + " line; " + consequence);
    return false;
  }
  values = ParseKeywordLine(lines.line, keyword, value_count);
  if (values.count < value_count) {
    Complain(lines, Where(lines) + "the " + keyword + " line of " + ObjectName(i) + " gives " +
                        std::to_string(values.count) + " values, not " + std::to_string(value_count) +
                        "; the missing ones are 0");
  }
  return true;
}

// Reads the point_count lines after the point keyword line as points; a list
// the file ends in keeps the points read so far.
void ReadPoints(SceneLines& lines, int32_t i, CV_parser_object& object) {
  if (!FindLineWith(lines, P_OBJECT_POINT)) {
    if (object.point_count > 0) {
      Complain(lines,
               WhereFile(lines) + "the point list of " + ObjectName(i) + " was not found again; it has no points");
    }
    object.point_count = 0;
    return;
  }
  for (int32_t k = 0; k < object.point_count; ++k) {
    if (!NextLine(lines)) {
      Complain(lines, WhereFile(lines) + "the file ends after " + std::to_string(k) + " of the " +
                          std::to_string(object.point_count) + " points of " + ObjectName(i));
      object.point_count = k;
      return;
    }
    CV_line_values values = ParseListLine(lines.line, false);
    if (values.count < 3) {
      Complain(lines, Where(lines) + "point " + std::to_string(k) + " of " + ObjectName(i) + " gives " +
                          std::to_string(values.count) + " values, not 3; the missing ones are 0");
    }
    object.points[k] = vertex3f{values.first, values.second, values.third};
  }
}

std::string IndexText(float value) {
  int32_t index = 0;
  if (FaceIndexFromValue(value, index)) return std::to_string(index);
  char text[32];
  std::snprintf(text, sizeof text, "%g", double(value));
  return text;
}

// Reads the face_count lines after the face keyword line as faces; a face
// with an index outside the point list is dropped, and faces the file ends
// before are missing.
void ReadFaces(SceneLines& lines, int32_t i, CV_parser_object& object) {
  if (!FindLineWith(lines, P_OBJECT_COORDINDEX)) {
    if (object.face_count > 0) {
      Complain(lines, WhereFile(lines) + "the face list of " + ObjectName(i) + " was not found again; it has no faces");
    }
    object.face_count = 0;
    return;
  }
  int32_t kept = 0;
  for (int32_t k = 0; k < object.face_count; ++k) {
    if (!NextLine(lines)) {
      Complain(lines, WhereFile(lines) + "the file ends after " + std::to_string(k) + " of the " +
                          std::to_string(object.face_count) + " faces of " + ObjectName(i));
      break;
    }
    CV_line_values values = ParseListLine(lines.line, true);
    if (values.count < 3) {
      Complain(lines, Where(lines) + "face " + std::to_string(k) + " of " + ObjectName(i) + " gives " +
                          std::to_string(values.count) + " indices, not 3; the missing ones are 0");
    }
    float read[3] = {values.first, values.second, values.third};
    CV_face face{};
    bool valid = true;
    for (int c = 0; c < 3 && valid; ++c) {
      valid = FaceIndexFromValue(read[c], face.index[c]) && face.index[c] >= 0 && face.index[c] < object.point_count;
      if (!valid) {
        Complain(lines, Where(lines) + "face " + std::to_string(k) + " of " + ObjectName(i) + " refers to point " +
                            IndexText(read[c]) + ", but the object has " + std::to_string(object.point_count) +
                            " points; face skipped");
      }
    }
    if (valid) object.faces[kept++] = face;
  }
  object.face_count = kept;
}

// Pass 4: translation, rotation, material, points and faces of every object.
void ReadObjects(SceneLines& lines, CV_parser_data& data) {
  Rewind(lines);
  for (int32_t i = 0; i < data.object_count; ++i) {
    CV_parser_object& object = data.objects[i];
    CV_line_values values;
    ReadObjectLine(lines, i, P_OBJECT_TRANSLATION, 3, "its translation is 0 0 0", values);
    object.translation = vertex3f{values.first, values.second, values.third};
    ReadObjectLine(lines, i, P_OBJECT_ROTATION, 4, "it is not rotated", values);
    object.rotation_axis = vector3f{{0, 0, 0}, {values.first, values.second, values.third}};
    object.rotation_angle = values.fourth;
    ReadObjectLine(lines, i, P_OBJECT_MATERIAL, 3, "its material is 0 0 0", values);
    object.diffuse = values.first;
    object.specular = values.second;
    object.exponent = values.third;
    ReadPoints(lines, i, object);
    ReadFaces(lines, i, object);
  }
}

// Moves every point to translation + rotation(point), the axis used as given.
void PlaceObjects(CV_parser_data& data) {
  for (int32_t i = 0; i < data.object_count; ++i) {
    CV_parser_object& object = data.objects[i];
    quat3f q = QuaternionRotate(object.rotation_angle, object.rotation_axis);
    for (int32_t k = 0; k < object.point_count; ++k) {
      vertex3f p = RotateByQuaternion(q, object.points[k]);
      const vertex3f& t = object.translation;
      object.points[k] = vertex3f{t.x + p.x, t.y + p.y, t.z + p.z};
    }
  }
}

}  // namespace

int ReadDataFile(std::string filename, CV_parser_data& data) {
  data = CV_parser_data{0, nullptr, 0, nullptr};
  if (!SceneFileUsable(filename)) return 1;

  SceneLines lines;
  lines.name = filename;
  lines.file.open(filename);

  // Pass 1: one object per "geometry" line, one light per "PointLight" line.
  long long objects = 0;
  long long lights = 0;
  while (NextLine(lines)) {
    if (LineContains(lines.line, P_OBJECT)) objects++;
    if (LineContains(lines.line, P_LIGHT)) lights++;
  }
  if (objects > kMaxObjects) {
    ReportInputProblem(WhereFile(lines) + "the scene has " + std::to_string(objects) + " objects, more than the " +
                       std::to_string(kMaxObjects) + " a sample can refer to; the scene is refused");
    return 0;
  }
  data.object_count = int32_t(objects);
  data.objects = AllocateArray<CV_parser_object>(data.object_count, "objects");
  data.light_count = lights > INT32_MAX ? INT32_MAX : int32_t(lights);
  data.lights = AllocateArray<CV_light>(data.light_count, "lights");

  // Said before the reader's own messages, which it explains; what the reader
  // then finds missing follows from it and is summed up after.
  LayoutBreak layout = FindLayoutBreak(filename);
  if (layout.line > 0) {
    ReportInputSummary(Where(lines, layout.line) + "this file " + layout.what + ConvertAdvice(filename));
    lines.layout_broken = true;
  }
  ReadListSizes(lines, data);
  ReadLights(lines, data);
  ReadObjects(lines, data);
  PlaceObjects(data);
  if (lines.consequences > 0) {
    ReportInputSummary(WhereFile(lines) + "so the reader found " + std::to_string(FaceCount(data)) + " faces in " +
                       std::to_string(data.object_count) + " objects; the " + std::to_string(lines.consequences) +
                       " problems that follow from this layout are not listed");
  }
  if (FaceCount(data) == 0) {
    ReportEmptyImageReason(WhereFile(lines) +
                           "the scene reader found no face in this file, so nothing can be lit and the image is "
                           "black; if it comes from another program, convert it with corvane-import " +
                           Printable(filename));
  }
  return 1;
}
