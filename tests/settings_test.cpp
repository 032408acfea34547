#include "config/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/messages.h"
#include "tests/support.h"
#include "tests/test_files.h"

namespace {

// The settings a read left, starting from the run's initial values, with
// what the read answered and said.
struct Reading : Settings {
  bool result = false;
  std::vector<std::string> messages;
  std::string folder;  // the working directory it was read in
};

// Reads contents as corvane.cfg from a fresh working directory; without
// contents there is no settings file at all.
Reading Read(const std::string* contents) {
  TempDir dir;
  if (contents != nullptr) dir.Write(CONFIG_FILENAME, *contents);
  Reading s;
  TakeInputProblems();
  InDirectory(dir.path(), [&] {
    s.folder = CurrentDirectory();
    s.result = ReadSettings(s);
  });
  s.messages = TakeInputProblems();
  return s;
}

Reading Read(const std::string& contents) { return Read(&contents); }

}  // namespace

TEST(Settings, ReadsEveryKeyOfATypicalFile) {
  Reading s = Read(
      "DATASETSIZE=1000;\n"
      "LIGHTCHANCE=0.3;\n"
      "SCENEFILENAME=room.wrl;\n"
      "WIREFRAME=1;\n"
      "CAMERAPOSITION\n"
      "0 1 10;\n"
      "0,1,0;\n"
      "0 1 0 ;\n"
      "SENSORPOSITION\n"
      "-1 2 9;\n"
      "1 2 9;\n"
      "-1 0 9;\n"
      "1 0 9;\n");
  EXPECT_TRUE(s.result);
  EXPECT_EQ(s.dataset_size, 1000u);
  EXPECT_EQ(s.light_chance, 0.3f);
  EXPECT_EQ(s.filename, "room.wrl");
  EXPECT_TRUE(s.wireframe);
  ExpectVertex(s.camera.eye, {0, 1, 10});
  ExpectVertex(s.camera.center, {0, 1, 0});
  ExpectVertex(s.camera.up, {0, 1, 0});
  ExpectVertex(s.camera.ul, {-1, 2, 9});
  ExpectVertex(s.camera.dr, {1, 0, 9});
  EXPECT_TRUE(s.messages.empty());
}

TEST(Settings, SeveralKeysOnOneLineAreAllTaken) {
  Reading s = Read("DATASETSIZE=100;LIGHTCHANCE=0.25;WIREFRAME=7;SCENEFILENAME=a.wrl;\n");
  EXPECT_EQ(s.dataset_size, 100u);
  EXPECT_EQ(s.light_chance, 0.25f);
  EXPECT_TRUE(s.wireframe);
  EXPECT_EQ(s.filename, "a.wrl");
}

TEST(Settings, ValueStartsOneCharacterAfterTheKeyAndEndsAtASemicolonOrTheLineEnd) {
  struct Row {
    const char* text;
    const char* filename;
  };
  const Row rows[] = {
      {"SCENEFILENAME=a.wrl;rest", "a.wrl"},  {"SCENEFILENAME a.wrl", "a.wrl"}, {"SCENEFILENAME:a.wrl ; ", "a.wrl "},
      {"SCENEFILENAME=a.wrl\r\n", "a.wrl\r"},  // a carriage return stays in the name
      {"SCENEFILENAME;a.wrl;b.wrl", "a.wrl"},  // the ";" right after the key is the skipped character
      {"SCENEFILENAMEXa.wrl", "a.wrl"},       {"SCENEFILENAME=", ""},           {"SCENEFILENAME", ""},
      {"# SCENEFILENAME=b.wrl", "b.wrl"},  // no comments: a key counts anywhere
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(Read(row.text).filename, row.filename);
  }
  EXPECT_EQ(Read("DATASETSIZE12;").dataset_size, 2u);
  EXPECT_EQ(Read("DATASETSIZE;42;").dataset_size, 42u);
  EXPECT_EQ(Read("DATASETSIZE=  77 samples").dataset_size, 77u);
  EXPECT_EQ(Read("DATASETSIZE=many").dataset_size, 0u);
  EXPECT_EQ(Read("LIGHTCHANCE=1e-1x").light_chance, 0.1f);
  EXPECT_FALSE(Read("WIREFRAME=0;").wireframe);
  EXPECT_FALSE(Read("WIREFRAME=off;").wireframe);
}

TEST(Settings, LastLineWithoutLineFeedIsRead) { EXPECT_EQ(Read("LIGHTCHANCE=0.1;\nDATASETSIZE=9").dataset_size, 9u); }

TEST(Settings, PointLinesNeedASeparatorAfterEachOfThreeNumbers) {
  struct Row {
    const char* line;
    bool written;
    vertex3f point;
  };
  const Row rows[] = {
      {"1 2 3;", true, {1, 2, 3}},        {"1,2,3,", true, {1, 2, 3}},
      {"  1 ,, 2;;3 ", true, {1, 2, 3}},  {"1 2 3 4 5;", true, {1, 2, 3}},
      {"1 2 3;garbage", true, {1, 2, 3}}, {"x 2 3;", true, {0, 2, 3}},
      {"1\t2 3 4;", true, {1, 3, 4}},  // a tab is part of a token: "1\t2" reads as 1
      {"1 2 3", false, {0, 0, 0}},     // the third number is still open at the line end
      {"1 2 3\r", false, {0, 0, 0}},      {"", false, {0, 0, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    Reading s = Read(std::string("CAMERAPOSITION\n") + row.line + "\n0 0 0;\n0 0 0;\n");
    vertex3f expected = row.written ? row.point : vertex3f{0, 0, 0};
    ExpectVertex(s.camera.eye, expected);
    EXPECT_EQ(s.messages.empty(), row.written);
  }
}

TEST(Settings, IncompletePointLineIsReportedAndKeepsThePoint) {
  Reading s = Read("CAMERAPOSITION\n1 2 3;\n4 5 6\n7 8 9;\n");
  ExpectVertex(s.camera.center, {0, 0, 0});
  ExpectVertex(s.camera.up, {7, 8, 9});
  ASSERT_EQ(s.messages.size(), 1u);
  EXPECT_EQ(s.messages[0],
            "corvane: corvane.cfg:3: the line does not give three numbers each followed by a blank, comma or "
            "semicolon; the point looked at keeps its value");
}

TEST(Settings, BlockLinesAreNotTestedForKeys) {
  Reading s = Read("CAMERAPOSITION DATASETSIZE=5;\nDATASETSIZE=6;\n1 1 1;\nLIGHTCHANCE=0.9;\n");
  EXPECT_EQ(s.dataset_size, 5u);  // the key line itself is tested
  EXPECT_EQ(s.light_chance, 0.5f);
  ExpectVertex(s.camera.center, {1, 1, 1});
}

TEST(Settings, SensorKeyOnTheThirdCameraLineStartsTheSensorBlock) {
  Reading s = Read("CAMERAPOSITION\n1 1 1;\n2 2 2;\n3 3 3; SENSORPOSITION\n4 4 4;\n5 5 5;\n6 6 6;\n7 7 7;\n");
  ExpectVertex(s.camera.up, {3, 3, 3});
  ExpectVertex(s.camera.ul, {4, 4, 4});
  ExpectVertex(s.camera.dr, {7, 7, 7});

  // On the first or second camera line it is not seen.
  s = Read("CAMERAPOSITION\n1 1 1; SENSORPOSITION\n2 2 2;\n3 3 3;\n4 4 4;\n");
  ExpectVertex(s.camera.ul, {0, 0, 0});
}

TEST(Settings, FileEndingInsideABlockKeepsTheRemainingPoints) {
  Reading s = Read("SENSORPOSITION\n1 1 1;\n2 2 2;");
  ExpectVertex(s.camera.ul, {1, 1, 1});
  ExpectVertex(s.camera.ur, {2, 2, 2});
  ExpectVertex(s.camera.dl, {0, 0, 0});
  EXPECT_TRUE(s.result);
  ASSERT_EQ(s.messages.size(), 1u);
  EXPECT_EQ(s.messages[0],
            "corvane: corvane.cfg:3: the file ends after 2 of the 4 lines of SENSORPOSITION; the other points keep "
            "their values");
}

TEST(Settings, IntegersOutsideTheirRangeAreRefusedAndReadingGoesOn) {
  struct Row {
    const char* text;
    bool accepted;
    uint32_t dataset_size;
  };
  const Row rows[] = {
      {"DATASETSIZE=0;", true, 0},
      {"DATASETSIZE=50000000;", true, 50000000},
      {"DATASETSIZE=50000001;", false, 50000},
      {"DATASETSIZE=-1;", false, 50000},
      {"DATASETSIZE=2147483647;", false, 50000},
      {"DATASETSIZE=4294967296;", false, 50000},
      {"DATASETSIZE=-99999999999999999999999;", false, 50000},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    Reading s = Read(std::string(row.text) + "\nLIGHTCHANCE=0.75;\n");
    EXPECT_EQ(s.result, row.accepted);
    EXPECT_EQ(s.dataset_size, row.dataset_size);
    EXPECT_EQ(s.light_chance, 0.75f);
    EXPECT_EQ(s.messages.size(), row.accepted ? 0u : 1u);
  }
  Reading s = Read("WIREFRAME=1;\nDATASETSIZE=4294967296 \r\n");
  ASSERT_EQ(s.messages.size(), 1u);
  EXPECT_EQ(s.messages[0],
            "corvane: corvane.cfg:2: DATASETSIZE 4294967296 is out of range; it must be from 0 to 50000000");

  s = Read("WIREFRAME=1;\nWIREFRAME=99999999999;\n");
  EXPECT_FALSE(s.result);
  EXPECT_TRUE(s.wireframe);
  ASSERT_EQ(s.messages.size(), 1u);
  EXPECT_EQ(s.messages[0],
            "corvane: corvane.cfg:2: WIREFRAME 99999999999 is out of range; it must be from -2147483648 to 2147483647");
}

TEST(Settings, ReadLineFromTillTakesTheRestAfterPositionUpToTheStop) {
  struct Row {
    const char* line;
    int position;
    const char* stop;
    const char* expected;
  };
  const Row rows[] = {
      {"abc;def", 0, ";", "bc"},    {"abc;def", 3, ";", "def"}, {"abc", 2, ";", ""},     {"abc", 50, ";", ""},
      {"a;b;c", -1, ";;", "a;b;c"}, {"a;b", -1, "", "a;b"},     {"abc", -5, ";", "abc"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.line) + " @" + std::to_string(row.position));
    EXPECT_EQ(ReadLineFromTill(row.line, row.position, row.stop), row.expected);
  }
}

TEST(Settings, LineThatReadsOtherwiseThanItLooksGetsOneWarningAndTheSameValues) {
  struct Row {
    const char* text;       // nullptr: no corvane.cfg at all
    const char* says;       // the one message after "corvane: corvane.cfg:N: "; "" for none
    uint32_t dataset_size;  // the values as read before the warnings
    float light_chance;
    const char* filename;
    bool wireframe;
    float eye_x;
  };
  const Row rows[] = {
      {"DATASETSIZE = 20000;",
       "1: DATASETSIZE \"= 20000\" is read as 0; write DATASETSIZE=20000; with no spaces around \"=\"", 0, 0.5f, "",
       false, 0},
      {"DATASETSIZE= 20000;",
       "1: DATASETSIZE \" 20000\" is read as 20000; write DATASETSIZE=20000; with no spaces around \"=\"", 20000, 0.5f,
       "", false, 0},
      {"DATASETSIZE=abc;", "1: DATASETSIZE \"abc\" is read as 0; write a whole number in digits", 0, 0.5f, "", false,
       0},
      {"DATASETSIZE=1e5;", "1: DATASETSIZE \"1e5\" is read as 1; write a whole number in digits", 1, 0.5f, "", false,
       0},
      {"LIGHTCHANCE=0,3;", "1: LIGHTCHANCE \"0,3\" is read as 0; write a decimal number such as 0.5", 50000, 0, "",
       false, 0},
      {"LIGHTCHANCE=2;",
       "1: LIGHTCHANCE \"2\" is read as 2; above 1, every step starts a new light path, so no light bounces; write a "
       "chance from 0 to 1",
       50000, 2, "", false, 0},
      {"LIGHTCHANCE=-0.5;",
       "1: LIGHTCHANCE \"-0.5\" is read as -0.5; below 0, no step after the first starts a new light path, so every "
       "path runs on from the one before; write a chance from 0 to 1",
       50000, -0.5f, "", false, 0},
      {"WIREFRAME=on;", "1: WIREFRAME \"on\" is read as 0; write a whole number in digits", 50000, 0.5f, "", false, 0},
      {"SCENEFILENAME = room.wrl;",
       "1: SCENEFILENAME looks for the file \"= room.wrl\"; write SCENEFILENAME=room.wrl; with no spaces around \"=\"",
       50000, 0.5f, "= room.wrl", false, 0},
      {"SCENEFILENAME=room.wrl ;",
       "1: SCENEFILENAME looks for the file \"room.wrl \"; write the name with no blanks around it", 50000, 0.5f,
       "room.wrl ", false, 0},
      {"SCENEFILENAME=room.wrl\r\n",
       "1: SCENEFILENAME looks for the file \"room.wrl\\r\"; end the name with \";\" (the line ends in a carriage "
       "return)",
       50000, 0.5f, "room.wrl\r", false, 0},
      {"datasetsize=20000;",
       "1: unknown key \"datasetsize\" is ignored; the nearest known key is DATASETSIZE (keys are upper case)", 50000,
       0.5f, "", false, 0},
      {"LIGHTCHANCE=0.3;\nDATASETSIZ=20000;",
       "2: unknown key \"DATASETSIZ\" is ignored; the nearest known key is DATASETSIZE", 50000, 0.3f, "", false, 0},
      {"CAMERAPOSTION\n1 2 3;\n4 5 6;\n7 8 9;",
       "1: unknown key \"CAMERAPOSTION\" is ignored; the nearest known key is CAMERAPOSITION", 50000, 0.5f, "", false,
       0},
      {"DATASETSIZE=100;\nDATASETSIZE=200;",
       "2: DATASETSIZE was already given at corvane.cfg:1; this later value is used", 200, 0.5f, "", false, 0},
      {"CAMERAPOSITION\n1 2 3;\n4 5 6;\n7 8 9;\nCAMERAPOSITION\n5 2 3;\n4 5 6;\n7 8 9;",
       "5: CAMERAPOSITION was already given at corvane.cfg:1; this later block is used", 50000, 0.5f, "", false, 5},
      {nullptr, "", 50000, 0.5f, "", false, 0},
      // Free text, comments and line ends from another system read as they look.
      {"# a room lit from above\nSettings for the room:\nDATASETSIZE=1000;\r\nWIREFRAME=1\r\n", "", 1000, 0.5f, "",
       true, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text == nullptr ? "no file" : row.text);
    std::string text = row.text == nullptr ? "" : row.text;
    Reading s = Read(row.text == nullptr ? nullptr : &text);
    std::vector<std::string> expected;
    if (row.text == nullptr) {
      expected.push_back("corvane: there is no corvane.cfg in " + s.folder + ", so the built-in values are used");
    } else if (*row.says != '\0') {
      expected.push_back(std::string("corvane: corvane.cfg:") + row.says);
    }
    EXPECT_EQ(s.messages, expected);
    EXPECT_TRUE(s.result);
    EXPECT_EQ(s.dataset_size, row.dataset_size);
    EXPECT_EQ(s.light_chance, row.light_chance);
    EXPECT_EQ(s.filename, row.filename);
    EXPECT_EQ(s.wireframe, row.wireframe);
    EXPECT_EQ(s.camera.eye.x, row.eye_x);
  }

  // The examples' settings keep to the layout: not a word about them.
  for (const auto& folder : std::filesystem::directory_iterator(std::string(CORVANE_SOURCE_DIR) + "/examples")) {
    SCOPED_TRACE(folder.path().string());
    EXPECT_EQ(Read(ReadFileBytes(folder.path().string() + "/" + CONFIG_FILENAME)).messages, std::vector<std::string>{});
  }
}
