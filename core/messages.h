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

// Keeps the reason why the image will have no lit pixel, a whole line that
// says what to do, unless a reason is kept already: the first one found is
// the cause, and later ones only follow from it (an unreadable scene file
// also leaves the scene without light). The driver prints it last, even when
// it prints nothing else.
void ReportEmptyImageReason(const std::string& message);

// Returns the kept reason, or an empty text, and forgets it.
std::string TakeEmptyImageReason();
