#include "app/viewer.h"

#include <GL/freeglut.h>
#include <GL/glu.h>
#include <X11/Xlib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/driver.h"
#include "app/views.h"

const char* const kViewerTitle = "Corvane";

const char* const kViewerKeysLine =
    "corvane: window keys: Esc or q closes it, space pauses the turning, a left drag turns the view, "
    "the wheel or a right drag zooms, r returns to the first view, p saves the view as a numbered PNG";

namespace {

constexpr int kTimerMilliseconds = 100;

// The connection that showed a display to be there. It stays open until the
// window exists: a server whose last client leaves resets itself (Xvfb does),
// and the toolkit's own connection would then fail, which ends the process.
Display* probe_connection = nullptr;
constexpr int kDegreesPerTick = 3;

// A drag across the 500-pixel window turns the scene by 250 degrees.
constexpr float kDegreesPerDragPixel = 0.5f;
// One wheel step enlarges or shrinks the scene by a tenth.
constexpr double kZoomPerWheelStep = 1.1;
// A right-button drag over the window's height zooms by about 12 times.
constexpr double kZoomPerDragPixel = 1.005;
// Beyond these the scene leaves the far plane or shrinks to a dot.
constexpr float kSmallestZoom = 0.125f;
constexpr float kLargestZoom = 8.0f;

constexpr unsigned char kKeyEscape = 27;
constexpr unsigned char kKeyControlQ = 17;
// freeglut reports the wheel as these buttons when it does not call the wheel callback.
constexpr int kWheelUpButton = 3;
constexpr int kWheelDownButton = 4;
constexpr int kNoButton = -1;

// What the user has done to the view on top of the automatic turning.
struct HandledView {
  bool paused = false;
  float yaw = 0.0f;        // degrees about the up direction, by left drags
  float pitch = 0.0f;      // degrees about the camera's right direction, by left drags
  float zoom = 1.0f;       // scale of the scene about the point looked at
  int button = kNoButton;  // the mouse button held, if any
  int last_x = 0;
  int last_y = 0;
};

HandledView handled;

bool IsFirstView(const HandledView& view) { return view.yaw == 0.0f && view.pitch == 0.0f && view.zoom == 1.0f; }

// Turns the scene about the camera's up direction through the point it looks
// at, so that the depth of the point cloud shows. A zero up direction has no
// axis to turn about.
void ApplyViewRotation() {
  if (sensor.up.x == 0 && sensor.up.y == 0 && sensor.up.z == 0) return;
  glTranslatef(sensor.center.x, sensor.center.y, sensor.center.z);
  glRotatef(float(roti), sensor.up.x, sensor.up.y, sensor.up.z);
  glTranslatef(-sensor.center.x, -sensor.center.y, -sensor.center.z);
}

// Applies the user's zoom and turn about the point looked at. The first view
// issues no call at all, so its frames are exactly those of the unhandled window.
void ApplyHandledView() {
  if (IsFirstView(handled)) return;
  glTranslatef(sensor.center.x, sensor.center.y, sensor.center.z);
  glScalef(handled.zoom, handled.zoom, handled.zoom);
  vector3f sight = VectorizeVertices(sensor.eye, sensor.center);
  vector3f up{{0, 0, 0}, sensor.up};
  vector3f right = VectorMultiply(sight, up);
  // A sight along the up direction has no right direction to tilt about.
  if (ScalarMultiply(right, right) > 0.0f) {
    glRotatef(handled.pitch, right.direction.x, right.direction.y, right.direction.z);
  }
  if (ScalarMultiply(up, up) > 0.0f) glRotatef(handled.yaw, sensor.up.x, sensor.up.y, sensor.up.z);
  glTranslatef(-sensor.center.x, -sensor.center.y, -sensor.center.z);
}

void ZoomBy(double factor) {
  float zoom = float(double(handled.zoom) * factor);
  if (zoom < kSmallestZoom) zoom = kSmallestZoom;
  if (zoom > kLargestZoom) zoom = kLargestZoom;
  handled.zoom = zoom;
}

void ReturnToFirstView() {
  roti = 0;
  handled.yaw = 0.0f;
  handled.pitch = 0.0f;
  handled.zoom = 1.0f;
}

// Renders what the window shows from the samples into a picture and says
// where it went; the window goes on showing the run's own samples.
void SaveViewAsPicture() {
  Camera first;
  first.eye = sensor.eye;
  first.center = sensor.center;
  first.up = sensor.up;
  Camera seen = WindowCamera(first, double(roti), double(handled.yaw), double(handled.pitch), double(handled.zoom));
  std::fprintf(stderr, "%s\n", RenderWindowView(seen).c_str());
}

void OnKey(unsigned char key, int, int) {
  if (key == kKeyEscape || key == 'q' || key == 'Q' || key == kKeyControlQ) glutLeaveMainLoop();
  if (key == ' ') handled.paused = !handled.paused;
  if (key == 'r' || key == 'R') ReturnToFirstView();
  if (key == 'p' || key == 'P') SaveViewAsPicture();
}

void OnWheel(int, int direction, int, int) { ZoomBy(direction > 0 ? kZoomPerWheelStep : 1.0 / kZoomPerWheelStep); }

void OnButton(int button, int state, int x, int y) {
  if (button == kWheelUpButton || button == kWheelDownButton) {
    if (state == GLUT_DOWN) OnWheel(0, button == kWheelUpButton ? 1 : -1, x, y);
    return;
  }
  if (button != GLUT_LEFT_BUTTON && button != GLUT_RIGHT_BUTTON) return;
  handled.button = state == GLUT_DOWN ? button : kNoButton;
  handled.last_x = x;
  handled.last_y = y;
}

// Left drags turn: sideways about the up direction, up and down about the
// right direction. Right drags zoom: upwards enlarges.
void OnDrag(int x, int y) {
  int dx = x - handled.last_x;
  int dy = y - handled.last_y;
  handled.last_x = x;
  handled.last_y = y;
  if (handled.button == GLUT_LEFT_BUTTON) {
    handled.yaw += float(dx) * kDegreesPerDragPixel;
    handled.pitch += float(dy) * kDegreesPerDragPixel;
  } else if (handled.button == GLUT_RIGHT_BUTTON) {
    ZoomBy(std::pow(kZoomPerDragPixel, double(-dy)));
  }
}

void DrawWireframe() {
  glColor3f(0.1f, 0.1f, 0.2f);
  glBegin(GL_LINES);
  for (int i = 0; i < scene.object_count; i++) {
    const CV_object& object = scene.objects[i];
    for (int k = 0; k < object.triangle_count; k++) {
      const CV_triangle& t = object.triangles[k];
      glVertex3f(t.a.x, t.a.y, t.a.z);
      glVertex3f(t.b.x, t.b.y, t.b.z);
      glVertex3f(t.b.x, t.b.y, t.b.z);
      glVertex3f(t.c.x, t.c.y, t.c.z);
      glVertex3f(t.c.x, t.c.y, t.c.z);
      glVertex3f(t.a.x, t.a.y, t.a.z);
    }
  }
  glEnd();
}

void DrawVisibleSamples() {
  glColor3f(1, 1, 1);
  glPointSize(1.0f);
  glBegin(GL_POINTS);
  for (uint32_t i = 0; i < dataset.count; i++) {
    const CVSample& sample = dataset.samples[i];
    if (!sample.visible) continue;
    glColor3f(sample.brightness, sample.brightness, sample.brightness);
    glVertex3f(sample.position.x, sample.position.y, sample.position.z);
  }
  glEnd();
}

void DrawLineOfSight() {
  glPointSize(1.0f);
  glColor3f(1, 0, 0);
  glBegin(GL_LINES);
  glVertex3f(sensor.eye.x, sensor.eye.y, sensor.eye.z);
  glVertex3f(sensor.center.x, sensor.center.y, sensor.center.z);
  glEnd();
}

uint32_t CountVisibleSamples() {
  uint32_t visible = 0;
  for (uint32_t i = 0; i < dataset.count; i++) visible += dataset.samples[i].visible ? 1 : 0;
  return visible;
}

// A grey caption in the lower left corner, drawn in window coordinates.
void DrawCaption() {
  static const std::string caption = "Corvane: " + std::to_string(CountVisibleSamples()) + " of " +
                                     std::to_string(dataset.count) + " samples seen from the eye";
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glColor3f(0.5f, 0.5f, 0.5f);
  glRasterPos2f(-0.96f, -0.96f);
  glutBitmapString(GLUT_BITMAP_HELVETICA_12, reinterpret_cast<const unsigned char*>(caption.c_str()));
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
}

}  // namespace

bool DisplayAvailable() { return DisplayAvailable(std::string()); }

bool DisplayAvailable(const std::string& display_name) {
  const char* name = display_name.empty() ? std::getenv("DISPLAY") : display_name.c_str();
  if (name == nullptr || name[0] == '\0') return false;
  if (probe_connection == nullptr) probe_connection = XOpenDisplay(name);
  return probe_connection != nullptr;
}

void init() {
  glClearColor(0, 0, 0, 0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluPerspective(45.0, 1.0, double(0.1f), 2000.0);
  glutTimerFunc(kTimerMilliseconds, IncVar, 1);
  gluLookAt(sensor.eye.x, sensor.eye.y, sensor.eye.z, sensor.center.x, sensor.center.y, sensor.center.z, sensor.up.x,
            sensor.up.y, sensor.up.z);
}

void display() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glPushMatrix();
  if (roti == 360) roti = 0;
  ApplyHandledView();
  ApplyViewRotation();
  if (settings.wireframe) DrawWireframe();
  DrawVisibleSamples();
  DrawLineOfSight();
  glPopMatrix();
  DrawCaption();
  glutSwapBuffers();
}

void IncVar(int) {
  if (!handled.paused) roti += kDegreesPerTick;
  glutTimerFunc(kTimerMilliseconds, IncVar, 1);
}

void OpenViewer(int argc, char** argv) {
  // Size and place before glutInit, so that a -geometry among the arguments wins.
  glutInitWindowSize(500, 500);
  glutInitWindowPosition(50, 50);
  glutInit(&argc, argv);
  glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE);
  glutCreateWindow(kViewerTitle);
  if (probe_connection != nullptr) {
    XCloseDisplay(probe_connection);
    probe_connection = nullptr;
  }
  init();
  glutDisplayFunc(display);
  glutIdleFunc(display);
  glutKeyboardFunc(OnKey);
  glutMouseFunc(OnButton);
  glutMouseWheelFunc(OnWheel);
  glutMotionFunc(OnDrag);
  glutMainLoop();
}

std::string WindowClosedMessage(const std::string& written_files) {
  return "corvane: the window is closed; " + written_files;
}

void ReportImageAfterWindow(int status, const std::string& written_files) {
  if (status != kExitImageWritten) return;
  std::fprintf(stderr, "%s\n", WindowClosedMessage(written_files).c_str());
}
