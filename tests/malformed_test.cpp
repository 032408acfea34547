// Hostile and broken input, and images that cannot be written, run through
// the real corvane binary: every case in a temporary directory of its own,
// with a time limit and a small data set. Each run must end with the exit
// status its case calls for, print nothing but "corvane: " lines, show no
// sanitizer report, and leave a valid 1024 by 1024 out.ppm whenever it got as
// far as the image. Status 0 stands for an image written: 4 instead when no
// pixel of it is lit, with the reason on the last line.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/program_runner.h"
#include "tests/test_files.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Runs end in well under a second; a run that needs the sampling loop's limit
// of misses in a row takes seconds, more under the sanitizers.
constexpr int kTimeLimitSeconds = kSanitized ? 240 : 120;
constexpr int kSamples = 300;

// The reader's own test cuts the example scenes after every line; through the
// binary, cuts after every kCutStep-th line keep the later stages covered on
// partial scenes. A prime step moves the cuts through every position of the
// blocks that repeat in a scene.
constexpr size_t kCutStep = 23;

struct Case {
  std::string label;
  std::map<std::string, std::string> files;  // name -> contents, written into the directory
  int status;                                // the exit status the run must end with (0: 0 or 4)
  std::function<void(const TempDir&)> prepare = nullptr;
  std::vector<std::string> says = {};  // what the output must contain, such as a refused value and its limit
};

std::string SanitizerReport(const std::string& output) {
  for (const char* mark : {"AddressSanitizer", "LeakSanitizer", "UndefinedBehaviorSanitizer", "runtime error:"}) {
    size_t at = output.find(mark);
    if (at != std::string::npos) return output.substr(at, 400);
  }
  return "";
}

// The first line of output that is not a message of the program, if any.
std::string ForeignLine(const std::string& output) {
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("corvane: ", 0) != 0 && line.rfind("myImage:: ", 0) != 0) return line.substr(0, 200);
  }
  return "";
}

// Runs one case; returns what went wrong, or an empty string.
std::string RunCase(const Case& c) {
  TempDir dir;
  for (const auto& [name, contents] : c.files) dir.Write(name, contents);
  if (c.prepare) c.prepare(dir);
  ProgramResult run = RunCorvane(dir.path(), kTimeLimitSeconds);
  std::string where = c.label + ": ";
  bool black = c.status == 0 && run.status == 4;
  if (run.status != c.status && !black) {
    return where + "status " + std::to_string(run.status) + ", expected " + std::to_string(c.status) + "\n" +
           run.output.substr(0, 2000);
  }
  std::string report = SanitizerReport(run.output);
  if (!report.empty()) return where + "sanitizer report: " + report;
  std::string foreign = ForeignLine(run.output);
  if (!foreign.empty()) return where + "output line without \"corvane: \": " + foreign;
  for (const std::string& text : c.says) {
    if (run.output.find(text) == std::string::npos) {
      return where + "output does not say \"" + text + "\"\n" + run.output.substr(0, 2000);
    }
  }
  bool image_exists = std::filesystem::exists(dir.File("out.ppm"));
  if (c.status == 0) {
    PpmImage image;
    if (!ParsePpm(ReadFileBytes(dir.File("out.ppm")), image)) return where + "out.ppm is missing or not a valid P6";
    if (image.width != 1024 || image.height != 1024) return where + "out.ppm is not 1024 by 1024";
    bool lit = image.raster.find_first_not_of('\0') != std::string::npos;
    if (lit == black) {
      return where + "status " + std::to_string(run.status) + " for an image that is " + (lit ? "lit" : "black");
    }
    if (black && run.output.find("the image is black") == std::string::npos) {
      return where + "a black image without its reason\n" + run.output.substr(0, 2000);
    }
  } else if (image_exists && !c.prepare) {
    return where + "status " + std::to_string(run.status) + " but an out.ppm was written";
  }
  return "";
}

// Runs the cases on two workers (each run is mostly waiting for the
// program) and reports every failure.
void RunCases(const std::vector<Case>& cases) {
  std::atomic<size_t> next{0};
  std::mutex lock;
  std::vector<std::string> failures;
  auto worker = [&] {
    for (size_t i = next++; i < cases.size(); i = next++) {
      std::string failure = RunCase(cases[i]);
      if (failure.empty()) continue;
      std::lock_guard<std::mutex> hold(lock);
      failures.push_back(failure);
    }
  };
  std::thread second(worker);
  worker();
  second.join();
  for (const std::string& failure : failures) ADD_FAILURE() << failure;
  EXPECT_TRUE(failures.empty()) << failures.size() << " of " << cases.size() << " cases failed";
}

std::string ExampleFile(const std::string& example, const std::string& name) {
  return ReadFileBytes(std::string(CORVANE_SOURCE_DIR) + "/examples/" + example + "/" + name);
}

// The settings of the room example with a small data set, reading scene.wrl.
std::string Settings(const std::string& scene_name = "scene.wrl", const std::string& extra = "") {
  std::string settings = ExampleFile("room", "corvane.cfg");
  settings = std::regex_replace(settings, std::regex("DATASETSIZE=[0-9]+"), "DATASETSIZE=" + std::to_string(kSamples));
  settings = std::regex_replace(settings, std::regex("SCENEFILENAME=[^;\n]*"), "SCENEFILENAME=" + scene_name);
  return extra + settings;
}

// A closed box with a light inside: every ray hits, so a run is quick.
const char* const kBox =
    "#VRML V2.0 utf8\n"
    "PointLight {\n"
    "  location 0 180 20\n"
    "  color 1 1 1\n"
    "  intensity 1\n"
    "}\n"
    "Transform {\n"
    "  translation 0 0 0\n"
    "  rotation 0 1 0 0\n"
    "  children [ Shape {\n"
    "    appearance Appearance { material Material {\n"
    "      diffuseColor 0.7 0 1\n"
    "    } }\n"
    "    geometry IndexedFaceSet {\n"
    "      coord Coordinate {\n"
    "        point [\n"
    "          -100 0 -100,\n"
    "          100 0 -100,\n"
    "          100 200 -100,\n"
    "          -100 200 -100,\n"
    "          -100 0 100,\n"
    "          100 0 100,\n"
    "          100 200 100,\n"
    "          -100 200 100,\n"
    "        ]\n"
    "      }\n"
    "      coordIndex [\n"
    "        0, 2, 3, -1,\n"
    "        0, 1, 2, -1,\n"
    "        4, 6, 5, -1,\n"
    "        4, 7, 6, -1,\n"
    "        0, 5, 1, -1,\n"
    "        0, 4, 5, -1,\n"
    "        3, 6, 7, -1,\n"
    "        3, 2, 6, -1,\n"
    "        0, 7, 4, -1,\n"
    "        0, 3, 7, -1,\n"
    "        1, 6, 2, -1,\n"
    "        1, 5, 6, -1,\n"
    "      ]\n"
    "    }\n"
    "  } ]\n"
    "}\n";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  size_t at = text.find(from);
  if (at == std::string::npos) throw std::logic_error("no \"" + from + "\" to replace");
  return text.replace(at, from.size(), to);
}

Case SceneCase(const std::string& label, const std::string& scene, int status = 0) {
  return Case{label, {{"corvane.cfg", Settings()}, {"scene.wrl", scene}}, status};
}

Case SettingsCase(const std::string& label, const std::string& settings, int status,
                  const std::vector<std::string>& says = {}) {
  return Case{label, {{"corvane.cfg", settings}, {"scene.wrl", kBox}}, status, nullptr, says};
}

std::string RandomBytes(uint32_t seed, size_t size) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = char(generator() & 0xff);
  return bytes;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

// Prefixes of the example scenes that end after a whole line: the empty
// file, the first line, every kCutStep-th line and the whole file, each with
// the example's own settings.
std::vector<Case> LineCuts(const std::string& example) {
  std::vector<std::string> lines = Lines(ExampleFile(example, example + ".wrl"));
  std::string settings = Settings(example + ".wrl");
  std::vector<Case> cases;
  std::string prefix;
  for (size_t n = 0; n <= lines.size(); ++n) {
    if (n % kCutStep == 0 || n == 1 || n == lines.size()) {
      cases.push_back(Case{example + " cut after line " + std::to_string(n),
                           {{"corvane.cfg", settings}, {example + ".wrl", prefix}},
                           0});
    }
    if (n < lines.size()) prefix += lines[n] + "\n";
  }
  return cases;
}

// The entries of a directory: name -> contents, or "<directory>".
std::map<std::string, std::string> Entries(const std::string& dir) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    entries[name] = entry.is_directory() ? "<directory>" : ReadFileBytes(entry.path().string());
  }
  return entries;
}

}  // namespace

TEST(MalformedInput, ExampleScenesCutAfterALineGiveAnImage) {
  std::vector<Case> cases;
  for (const char* example : {"room", "lights", "rotated", "glossy"}) {
    std::vector<Case> cuts = LineCuts(example);
    ASSERT_GT(cuts.size(), 1u) << example << " has no scene";
    cases.insert(cases.end(), cuts.begin(), cuts.end());
  }
  RunCases(cases);
}

TEST(MalformedInput, BrokenScenesAreRepairedAndGiveAnImage) {
  std::vector<Case> cases;
  for (uint32_t seed : {1u, 2u, 3u}) {
    cases.push_back(SceneCase("random scene bytes " + std::to_string(seed), RandomBytes(seed, 4096u << seed)));
  }
  cases.push_back(SceneCase("random bytes after a valid scene", kBox + RandomBytes(7, 20000)));
  cases.push_back(
      SceneCase("NUL bytes for blanks", std::regex_replace(std::string(kBox), std::regex(" "), std::string(1, '\0'))));
  cases.push_back(
      SceneCase("NUL bytes inside numbers",
                Replace(kBox, "100 200 100,", std::string("10") + '\0' + " 200" + '\0' + " 1" + '\0' + ",")));
  cases.push_back(SceneCase("CRLF line ends", std::regex_replace(std::string(kBox), std::regex("\n"), "\r\n")));
  cases.push_back(SceneCase("CR line ends only", std::regex_replace(std::string(kBox), std::regex("\n"), "\r")));

  // Numbers beyond float, not numbers, and below the smallest subnormal, in
  // every kind of line that carries numbers.
  for (std::string number : {"1e39", "-1e39", "nan", "inf", "-inf", "1e-45", "-nan", "0x1p200"}) {
    cases.push_back(SceneCase("point " + number, Replace(kBox, "100 200 -100,", number + " 200 " + number + ",")));
    cases.push_back(
        SceneCase("translation " + number, Replace(kBox, "translation 0 0 0", "translation 0 " + number + " 0")));
    cases.push_back(
        SceneCase("rotation angle " + number, Replace(kBox, "rotation 0 1 0 0", "rotation 0 1 0 " + number)));
    cases.push_back(
        SceneCase("rotation axis " + number, Replace(kBox, "rotation 0 1 0 0", "rotation " + number + " 1 0 1")));
    cases.push_back(SceneCase("material " + number, Replace(kBox, "diffuseColor 0.7 0 1",
                                                            "diffuseColor " + number + " " + number + " " + number)));
    cases.push_back(
        SceneCase("exponent " + number, Replace(kBox, "diffuseColor 0.7 0 1", "diffuseColor 0.2 0.7 " + number)));
    cases.push_back(
        SceneCase("light location " + number, Replace(kBox, "location 0 180 20", "location 0 " + number + " 20")));
    cases.push_back(SceneCase("face index " + number, Replace(kBox, "0, 2, 3, -1", "0, 2, " + number + ", -1")));
  }
  std::string many_digits(5000, '7');
  cases.push_back(SceneCase("coordinate of 5000 digits", Replace(kBox, "100 200 -100,", many_digits + " 200 -100,")));
  cases.push_back(
      SceneCase("fraction of 5000 digits", Replace(kBox, "100 200 -100,", "0." + many_digits + " 200 -100,")));
  cases.push_back(
      SceneCase("face index of 5000 digits", Replace(kBox, "0, 2, 3, -1", "0, 2, " + many_digits + ", -1")));
  cases.push_back(
      SceneCase("angle of 5000 digits", Replace(kBox, "rotation 0 1 0 0", "rotation 0 1 0 " + many_digits)));

  std::string megabytes(4 << 20, 'x');
  cases.push_back(
      SceneCase("comment line of 4 MB", Replace(kBox, "#VRML V2.0 utf8\n", "#VRML V2.0 utf8\n#" + megabytes + "\n")));
  cases.push_back(SceneCase("point line of 4 MB of blanks",
                            Replace(kBox, "100 200 -100,", std::string(4 << 20, ' ') + "100 200 -100,")));
  cases.push_back(SceneCase("keyword line of 4 MB",
                            Replace(kBox, "translation 0 0 0", "translation 0 0 0 " + std::string(4 << 20, '1'))));
  cases.push_back(SceneCase("4 MB without a line end", megabytes));

  for (std::string index : {"-1", "2147483647", "8", "-2", "2147483648", "-2147483649", "2.9", "9e9"}) {
    cases.push_back(
        SceneCase("face refers to point " + index, Replace(kBox, "0, 2, 3, -1", "0, " + index + ", 3, -1")));
  }
  cases.push_back(
      SceneCase("point list never closed", std::string(kBox).substr(0, std::string(kBox).find("        ]"))));
  const std::string face_list_end = "      ]\n    }\n";
  const std::string point_list_end = "        ]\n      }\n";
  cases.push_back(SceneCase("face list never closed", Replace(kBox, face_list_end, "")));
  cases.push_back(SceneCase("both lists never closed", Replace(Replace(kBox, face_list_end, ""), point_list_end, "")));
  cases.push_back(SceneCase("list opened and file ends",
                            "geometry\ntranslation 0 0 0\nrotation 0 1 0 0\ndiffuseColor 1 0 1\npoint [\n"));
  cases.push_back(SceneCase("face keyword but no faces", Replace(kBox, "        0, 2, 3, -1,\n", "")));
  cases.push_back(SceneCase("more geometry lines than lists", std::string(kBox) + "geometry\ngeometry\n"));
  cases.push_back(SceneCase("light without its lines at the end", std::string(kBox) + "PointLight {\n"));
  cases.push_back(SceneCase("light lines in the wrong order", Replace(kBox, "  location 0 180 20\n  color 1 1 1\n",
                                                                      "  color 1 1 1\n  location 0 180 20\n")));
  cases.push_back(SceneCase("empty scene file", ""));
  cases.push_back(SceneCase("zero objects", "PointLight {\n  location 0 5 0\n  color 1 1 1\n  intensity 1\n}\n"));
  cases.push_back(SceneCase("zero lights", Replace(kBox, "PointLight {\n", "Light {\n")));
  cases.push_back(SceneCase("one degenerate triangle",
                            "PointLight {\n  location 0 5 0\n  color 1 1 1\n  intensity 1\n}\n"
                            "geometry\ntranslation 0 0 0\nrotation 0 1 0 0\ndiffuseColor 0.5 0.5 1\n"
                            "point [\n1 1 1,\n1 1 1,\n1 1 1,\n]\ncoordIndex [\n0, 1, 2, -1,\n]\n"));
  cases.push_back(
      SceneCase("object without faces", Replace(Replace(kBox, "      coordIndex [\n", ""), "0, 2, 3, -1", "")));
  std::string many_objects;
  for (int i = 0; i < 32769; i++) many_objects += "geometry\n";
  Case refused = SceneCase("32769 objects", many_objects, 2);
  refused.says = {"32769"};
  cases.push_back(refused);
  std::string just_enough;
  for (int i = 0; i < 32768; i++) just_enough += "geometry\n";
  cases.push_back(SceneCase("32768 empty objects", just_enough, 0));
  RunCases(cases);
}

TEST(MalformedInput, SettingsAreRefusedOrRepairedAsTheStatusTableSays) {
  std::vector<Case> cases;
  std::string settings = Settings();
  auto with = [&](const std::string& line) { return line + "\n" + settings; };
  // A later line overrides the earlier one, so the values are set after the room's own.
  auto after = [&](const std::string& line) { return settings + line + "\n"; };
  for (std::string size : {"-1", "4294967296", "50000001"}) {
    cases.push_back(SettingsCase("DATASETSIZE " + size, after("DATASETSIZE=" + size + ";"), 2, {size, "50000000"}));
  }
  cases.push_back(SettingsCase("DATASETSIZE 0", after("DATASETSIZE=0;"), 0));
  cases.push_back(SettingsCase("DATASETSIZE 1", after("DATASETSIZE=1;"), 0));
  cases.push_back(SettingsCase("DATASETSIZE of 5000 digits", after("DATASETSIZE=" + std::string(5000, '9') + ";"), 2));
  cases.push_back(SettingsCase("DATASETSIZE nan", after("DATASETSIZE=nan;"), 0));
  cases.push_back(SettingsCase("WIREFRAME 2147483648", after("WIREFRAME=2147483648;"), 2));
  for (std::string chance : {"nan", "-1", "2", "inf", "-inf", "1e39", "1e-45"}) {
    cases.push_back(SettingsCase("LIGHTCHANCE " + chance, after("LIGHTCHANCE=" + chance + ";"), 0));
  }
  for (std::string number : {"nan", "inf", "1e39", "-1e39", "1e-45"}) {
    cases.push_back(
        SettingsCase("camera point " + number, after("CAMERAPOSITION\n0 100 700;\n" + number + " 100 0;\n0 1 0;"), 0));
    cases.push_back(
        SettingsCase("sensor corner " + number,
                     after("SENSORPOSITION\n110 210 110;\n" + number + " -10 110;\n-110 210 110;\n-110 -10 110;"), 0));
  }
  cases.push_back(SettingsCase("camera block cut short", after("CAMERAPOSITION\n0 1"), 0));
  cases.push_back(SettingsCase("sensor block cut short", after("SENSORPOSITION\n1 2 3;\n"), 0));
  cases.push_back(
      SettingsCase("all camera and sensor points equal",
                   after("CAMERAPOSITION\n0 0 0;\n0 0 0;\n0 0 0;\nSENSORPOSITION\n0 0 0;\n0 0 0;\n0 0 0;\n0 0 0;"), 0));
  for (uint32_t seed : {11u, 12u, 13u}) {
    cases.push_back(SettingsCase("random settings bytes " + std::to_string(seed), RandomBytes(seed, 2048u << seed), 0));
  }
  cases.push_back(SettingsCase("NUL bytes in the settings",
                               std::regex_replace(settings, std::regex(";"), std::string(";\0", 2)), 0));
  cases.push_back(SettingsCase("CRLF settings", std::regex_replace(settings, std::regex("\n"), "\r\n"), 0));
  cases.push_back(
      SettingsCase("CRLF settings without semicolons",
                   std::regex_replace(std::regex_replace(settings, std::regex(";"), ""), std::regex("\n"), "\r\n"), 0));
  cases.push_back(SettingsCase("settings line of 4 MB", with("#" + std::string(4 << 20, 'c')), 0));
  cases.push_back(SettingsCase("scene name of 1 MB", after("SCENEFILENAME=" + std::string(1 << 20, 'n') + ";"), 0));
  cases.push_back(SettingsCase("empty scene name", after("SCENEFILENAME=;"), 0));
  cases.push_back(SettingsCase("scene name is the working directory", after("SCENEFILENAME=.;"), 0));
  cases.push_back(SettingsCase("scene name is the settings file", after("SCENEFILENAME=corvane.cfg;"), 0));
  cases.push_back(SettingsCase("scene name of a missing file", after("SCENEFILENAME=missing.wrl;"), 0));
  Case directory = SettingsCase("scene name is a directory", after("SCENEFILENAME=scenes;"), 0);
  directory.prepare = [](const TempDir& dir) { std::filesystem::create_directory(dir.File("scenes")); };
  cases.push_back(directory);
  cases.push_back(Case{"no settings file", {}, 0});
  RunCases(cases);
}

TEST(MalformedInput, VrmlFilesFromElsewhereGiveAnImage) {
  std::vector<std::string> folders = {std::string(CORVANE_TEST_DATA_DIR) + "/wild-vrml",
                                      "/usr/share/assimp/models/WRL"};
  std::vector<Case> cases;
  for (const std::string& folder : folders) {
    if (!std::filesystem::is_directory(folder)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      std::string extension = entry.path().extension().string();
      for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
      if (!entry.is_regular_file() || extension != ".wrl") continue;
      cases.push_back(SceneCase(entry.path().string(), ReadFileBytes(entry.path().string())));
    }
  }
  if (cases.empty()) GTEST_SKIP() << "no VRML files found";
  RunCases(cases);
}

// Write faults: the run reports them with status 3, an earlier out.ppm stays
// as it was and no temporary file is left behind.
TEST(MalformedInput, ImageThatCannotBeWrittenGivesStatusThreeAndChangesNoFile) {
  struct Row {
    std::string label;
    std::string before_run;  // shell commands run first, in the run's directory
    std::function<void(const TempDir&)> prepare;
  };
  const Row rows[] = {
      // A file size limit makes every write beyond 64 blocks fail as on a full
      // device; the signal it would raise is ignored, so the write reports it.
      {"full device", "trap '' XFSZ; ulimit -f 64; ",
       [](const TempDir& dir) { dir.Write("out.ppm", "P6 1 1 255\nabc"); }},
      {"out.ppm is a directory", "",
       [](const TempDir& dir) { std::filesystem::create_directory(dir.File("out.ppm")); }},
      // Nothing can be read in a directory that no longer exists, and the
      // image cannot be created there.
      {"removed working directory", "mkdir gone && cd gone && rmdir ../gone && ", [](const TempDir&) {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    TempDir dir;
    dir.Write("corvane.cfg", Settings());
    dir.Write("scene.wrl", kBox);
    row.prepare(dir);
    std::map<std::string, std::string> before = Entries(dir.path());
    std::string command = row.before_run + "env -u DISPLAY TERM=dumb " + ShellQuote(CORVANE_BINARY) + " >/dev/null";
    ProgramResult run = RunCommand(command, dir.path(), kTimeLimitSeconds);
    EXPECT_EQ(run.status, 3) << run.output;
    EXPECT_NE(run.output.find("could not write the image"), std::string::npos) << run.output;
    EXPECT_EQ(SanitizerReport(run.output), "");
    EXPECT_TRUE(Entries(dir.path()) == before) << "out.ppm changed or a temporary file was left behind";
  }
}
