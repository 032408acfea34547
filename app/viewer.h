// The window: the visible samples as grey points, optionally the triangle
// edges, and the sensor's line of sight, turning slowly about the camera's up
// direction through the point it looks at.
#pragma once

// True when an X display can be opened, so that a window can be shown.
bool DisplayAvailable();

// Clear colour, camera and the rotation timer; called once after the window exists.
void init();
// Draws one frame.
void display();
// Timer callback: advances the view angle by 3 degrees every 100 ms.
void IncVar(int);

// Creates the window and runs the event loop until the window is closed.
void OpenViewer(int argc, char** argv);
