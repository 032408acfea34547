// The version that corvane and corvane-import show with --version.
#pragma once

constexpr const char* kCorvaneVersion = "1.0.0";
