#include "app/viewer.h"

#include <GL/freeglut.h>
#include <GL/glu.h>
#include <X11/Xlib.h>

#include <cstdlib>
#include <string>

#include "app/driver.h"

namespace {

constexpr int kTimerMilliseconds = 100;

// The connection that showed a display to be there. It stays open until the
// window exists: a server whose last client leaves resets itself (Xvfb does),
// and the toolkit's own connection would then fail, which ends the process.
Display* probe_connection = nullptr;
constexpr int kDegreesPerTick = 3;

// Turns the scene about the camera's up direction through the point it looks
// at, so that the depth of the point cloud shows. A zero up direction has no
// axis to turn about.
void ApplyViewRotation() {
  if (sensor.up.x == 0 && sensor.up.y == 0 && sensor.up.z == 0) return;
  glTranslatef(sensor.center.x, sensor.center.y, sensor.center.z);
  glRotatef(float(roti), sensor.up.x, sensor.up.y, sensor.up.z);
  glTranslatef(-sensor.center.x, -sensor.center.y, -sensor.center.z);
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

bool DisplayAvailable() {
  const char* name = std::getenv("DISPLAY");
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
  gluLookAt(sensor.eye.x, sensor.eye.y, sensor.eye.z, sensor.center.x, sensor.center.y, sensor.center.z,
            sensor.up.x, sensor.up.y, sensor.up.z);
}

void display() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glPushMatrix();
  if (roti == 360) roti = 0;
  ApplyViewRotation();
  if (wireframe) DrawWireframe();
  DrawVisibleSamples();
  DrawLineOfSight();
  glPopMatrix();
  DrawCaption();
  glutSwapBuffers();
}

void IncVar(int) {
  roti += kDegreesPerTick;
  glutTimerFunc(kTimerMilliseconds, IncVar, 1);
}

void OpenViewer(int argc, char** argv) {
  glutInit(&argc, argv);
  glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE);
  glutInitWindowSize(500, 500);
  glutInitWindowPosition(50, 50);
  glutCreateWindow("Corvane");
  if (probe_connection != nullptr) {
    XCloseDisplay(probe_connection);
    probe_connection = nullptr;
  }
  init();
  glutDisplayFunc(display);
  glutIdleFunc(display);
  glutMainLoop();
}
