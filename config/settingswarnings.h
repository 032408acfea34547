// Warnings about settings that read otherwise than they look. They change
// no value: every line is read as ReadSettings reads it.
#pragma once

#include <map>
#include <string>

// The keys given so far, each with the place of its first line
// ("corvane.cfg:3"), for telling a key given twice.
struct SettingsKeysSeen {
  std::map<std::string, std::string> first_place;
};

// Reports with ReportInputProblem what on one settings line reads otherwise
// than it looks: a value that is not a clean number (and what it is read as),
// spaces around "=", blanks around the scene file name, an unknown or
// misspelt key, a key given before. Changes no value: the line is read as
// ReadSettings reads it, and values it refuses are left to its own message.
// place names the line in messages ("corvane.cfg:3").
void WarnAboutSettingsLine(const std::string& line, const std::string& place, SettingsKeysSeen& seen);

// Reports that the working directory has no readable settings file, so that
// the run goes on the built-in values.
void ReportMissingSettings();
