// The window: the visible samples as grey points, optionally the triangle
// edges, and the sensor's line of sight, turning slowly about the camera's up
// direction through the point it looks at. Keys and the mouse handle the view.
#pragma once

#include <string>

// The window's title, "Corvane": scripts find the window by it.
extern const char* const kViewerTitle;

// The line printed as the window opens, which names the keys that handle the
// view (the title holds only the program's name).
extern const char* const kViewerKeysLine;

// True when an X display can be opened, so that a window can be shown.
bool DisplayAvailable();

// The same for the display named by the -display option; an empty name
// means the one in $DISPLAY.
bool DisplayAvailable(const std::string& display_name);

// Clear colour, camera and the rotation timer; called once after the window exists.
void init();
// Draws one frame.
void display();
// Timer callback: advances the view angle by 3 degrees every 100 ms unless paused.
void IncVar(int);

// Creates the window and runs the event loop until the window is closed, by
// the window manager or by Esc, q or Ctrl+Q.
void OpenViewer(int argc, char** argv);

// The line that tells, once the window has closed, where the written files
// are (WrittenFilesText).
std::string WindowClosedMessage(const std::string& written_files);

// After the window has closed: prints WindowClosedMessage to standard error
// when the image was written (status 0); prints nothing otherwise, since the
// failure has been reported already.
void ReportImageAfterWindow(int status, const std::string& written_files);
