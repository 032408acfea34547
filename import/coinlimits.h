// What Coin cannot take in a text scene file. It keeps each word in a buffer
// of fixed size and parses nested nodes by recursion: on Coin 4.0 a number of
// 3000 digits breaks its stack, a name of 70000 letters overruns a block of
// its heap, and groups nested 100000 deep use up the stack. Such files are
// refused before Coin sees them.
#pragma once

#include <string>

// Far beyond any name or number of a real file, and well within Coin's buffers.
constexpr long kLongestCoinWord = 1000;
// Far beyond the nesting of a real file, and well within Coin's stack.
constexpr long kDeepestCoinNesting = 1000;

// Scans the file (plain or gzip-compressed) outside comments and quoted
// strings for a word (a run of characters between blanks, commas and
// brackets) longer than kLongestCoinWord or brackets nested deeper than
// kDeepestCoinNesting. False, with reason set to what was found and on which
// line ("line 3 holds a word of 5000 characters; Coin takes at most 1000"),
// when it finds one. Binary Inventor files and files that cannot be opened
// pass: Coin reports on those itself.
bool WithinCoinLimits(const std::string& path, std::string& reason);
