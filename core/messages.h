// Problems found in the input files. They are collected while the console
// owns the terminal (it would hide them) and printed when it has ended.
#pragma once

#include <string>
#include <vector>

// Keeps one message, a whole line without its line end, for example
// "corvane: scene.wrl:57: face 12 refers to point 40, but the object has 36 points; face skipped".
void ReportInputProblem(const std::string& message);

// Keeps a message that sums up a whole file even past the limit on kept
// messages: it tells what to do about the ones that were dropped.
void ReportInputSummary(const std::string& message);

// Returns the messages kept so far, oldest first, and forgets them.
std::vector<std::string> TakeInputProblems();
