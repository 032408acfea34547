// Ray queries of IntersectionRayScene beside Embree 3's rtcIntersect1, on the
// same scene files and the same rays, one core: the room with a sphere of N
// triangles that rayquery_bench measures. Built only when CMake finds Embree;
// nothing else links it. Prints a table; nothing passes or fails.
#include <embree3/rtcore.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/raybench.h"
#include "core/raytriangle.h"
#include "rayquery/rayquery.h"
#include "rayquery/rayscene.h"
#include "scene/scene.h"

#define SPHERE_ROOM_NO_MAIN
#include "make_sphere_room.cpp"

namespace {

// The number of rays leaving the light; about as many leave the hit points.
constexpr int kRaysFromLight = 1000000;

// Rays leaving the light, and one ray leaving the front side of each hit point.
void MakeRays(CV_scene scene, std::vector<vector3f>& from_light, std::vector<vector3f>& from_surface) {
  std::mt19937 engine(1);
  for (int k = 0; k < kRaysFromLight; ++k) {
    vector3f ray{scene.lights[0].location, RandomDirection(engine)};
    from_light.push_back(ray);
    vertex3f hit;
    vector3f normal;
    int object = 0;
    if (IntersectionRayScene(ray, scene, hit, normal, object) != 1) continue;
    from_surface.push_back(LeavingRay(hit, normal, engine));
  }
}

// One triangle geometry holding every triangle of the scene.
RTCScene EmbreeScene(RTCDevice device, CV_scene scene) {
  size_t count = 0;
  for (int32_t i = 0; i < scene.object_count; ++i) count += size_t(scene.objects[i].triangle_count);
  RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
  float* points = static_cast<float*>(
      rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, 3 * sizeof(float), 3 * count));
  unsigned* faces = static_cast<unsigned*>(
      rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, 3 * sizeof(unsigned), count));
  size_t k = 0;
  for (int32_t i = 0; i < scene.object_count; ++i) {
    for (int32_t j = 0; j < scene.objects[i].triangle_count; ++j, ++k) {
      const CV_triangle& t = scene.objects[i].triangles[j];
      const vertex3f corners[3] = {t.a, t.b, t.c};
      for (int c = 0; c < 3; ++c) {
        points[9 * k + 3 * size_t(c)] = corners[c].x;
        points[9 * k + 3 * size_t(c) + 1] = corners[c].y;
        points[9 * k + 3 * size_t(c) + 2] = corners[c].z;
        faces[3 * k + size_t(c)] = unsigned(3 * k + size_t(c));
      }
    }
  }
  rtcCommitGeometry(geometry);
  RTCScene rtc_scene = rtcNewScene(device);
  rtcAttachGeometry(rtc_scene, geometry);
  rtcReleaseGeometry(geometry);
  rtcCommitScene(rtc_scene);
  return rtc_scene;
}

// Millions of queries per second of processor time; hits counts the rays that hit.
double EmbreeRate(RTCScene scene, const std::vector<vector3f>& rays, long& hits) {
  RTCIntersectContext context;
  rtcInitIntersectContext(&context);
  hits = 0;
  double start = CpuSeconds();
  for (const vector3f& ray : rays) {
    RTCRayHit q{};
    q.ray.org_x = ray.origin.x;
    q.ray.org_y = ray.origin.y;
    q.ray.org_z = ray.origin.z;
    q.ray.dir_x = ray.direction.x;
    q.ray.dir_y = ray.direction.y;
    q.ray.dir_z = ray.direction.z;
    q.ray.tnear = kNearZero;
    q.ray.tfar = std::numeric_limits<float>::infinity();
    q.ray.mask = ~0u;
    q.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    rtcIntersect1(scene, &context, &q);
    hits += q.hit.geomID != RTC_INVALID_GEOMETRY_ID;
  }
  return double(rays.size()) / (CpuSeconds() - start) / 1e6;
}

double OurRate(CV_scene scene, const std::vector<vector3f>& rays, long& hits) {
  hits = 0;
  double start = CpuSeconds();
  for (const vector3f& ray : rays) {
    vertex3f hit;
    vector3f normal;
    int object = 0;
    hits += IntersectionRayScene(ray, scene, hit, normal, object);
  }
  return double(rays.size()) / (CpuSeconds() - start) / 1e6;
}

// The rays whose answer is the sphere (object 1), and all others: the room
// or nothing.
void SplitByAnswer(CV_scene scene, const std::vector<vector3f>& rays, std::vector<vector3f>& room,
                   std::vector<vector3f>& sphere) {
  for (const vector3f& ray : rays) {
    vertex3f hit;
    vector3f normal;
    int object = -1;
    bool on_sphere = IntersectionRayScene(ray, scene, hit, normal, object) == 1 && object == 1;
    (on_sphere ? sphere : room).push_back(ray);
  }
}

// Where the time goes: nanoseconds a query, Embree's and ours, for the rays
// answered by the room and for those answered by the sphere, the best of three.
void WhereTheTimeGoes(const char* which, RTCScene rtc_scene, CV_scene scene, const std::vector<vector3f>& rays) {
  std::vector<vector3f> groups[2];
  SplitByAnswer(scene, rays, groups[0], groups[1]);
  double ns[2][2] = {};
  for (int g = 0; g < 2; ++g) {
    if (groups[g].empty()) continue;
    double e = 0, o = 0;
    long hits = 0;
    for (int round = 0; round < 3; ++round) {
      e = std::max(e, EmbreeRate(rtc_scene, groups[g], hits));
      o = std::max(o, OurRate(scene, groups[g], hits));
    }
    ns[g][0] = 1e3 / e;
    ns[g][1] = 1e3 / o;
  }
  std::printf("%9s   %-8s ns a query, answered by the room (%zu): Embree %.0f, ours %.0f; by the sphere (%zu): "
              "Embree %.0f, ours %.0f\n",
              "", which, groups[0].size(), ns[0][0], ns[0][1], groups[1].size(), ns[1][0], ns[1][1]);
}

void Row(RTCDevice device, long n) {
  std::string dir = "/tmp/corvane_embree_bench_" + std::to_string(n);
  std::system(("mkdir -p " + dir).c_str());
  int written = WriteSphereRoom(n, dir, 1000);
  CV_scene scene{};
  auto start = std::chrono::steady_clock::now();
  CreateScene(dir + "/sphere_room.wrl", scene);
  auto query_start = std::chrono::steady_clock::now();
  BuildRayQuery(scene);
  auto query_end = std::chrono::steady_clock::now();
  double ours_build = std::chrono::duration<double>(query_end - start).count();
  double ours_query_build = std::chrono::duration<double>(query_end - query_start).count();
  // Again on every core: the same structures, sooner.
  unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  FreeRayQuery(scene);
  query_start = std::chrono::steady_clock::now();
  BuildRayQuery(scene, cores);
  double ours_threaded_build = std::chrono::duration<double>(std::chrono::steady_clock::now() - query_start).count();
  start = std::chrono::steady_clock::now();
  RTCScene rtc_scene = EmbreeScene(device, scene);
  double embree_build = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::vector<vector3f> light, surface;
  MakeRays(scene, light, surface);
  long hits_e = 0, hits_o = 0, hits_es = 0, hits_os = 0;
  // The best of three each, interleaved: this machine's speed drifts by
  // more than the ratios' differences within a minute.
  double e_light = 0, o_light = 0, e_surface = 0, o_surface = 0;
  for (int round = 0; round < 3; ++round) {
    e_light = std::max(e_light, EmbreeRate(rtc_scene, light, hits_e));
    o_light = std::max(o_light, OurRate(scene, light, hits_o));
    e_surface = std::max(e_surface, EmbreeRate(rtc_scene, surface, hits_es));
    o_surface = std::max(o_surface, OurRate(scene, surface, hits_os));
  }
  uint64_t digest = AnswerDigest(scene, light) ^ (AnswerDigest(scene, surface) * 31);
  std::printf("%9d | %8.2f %8.2f %6.2f | %8.2f %8.2f %6.2f | %7zu | %6.2f %6.2f %6.2f %6.2f | %016llx\n", written,
              e_light, o_light, o_light / e_light, e_surface, o_surface, o_surface / e_surface, surface.size(),
              embree_build, ours_build, ours_query_build, ours_threaded_build, static_cast<unsigned long long>(digest));
  WhereTheTimeGoes("light", rtc_scene, scene, light);
  WhereTheTimeGoes("surfaces", rtc_scene, scene, surface);
  std::fflush(stdout);
  rtcReleaseScene(rtc_scene);
  FreeRayQuery(scene);
  FreeScene(scene);
}

}  // namespace

// embree_bench [N ...]: the sphere sizes (default 1000 10000 100000).
int main(int argc, char** argv) {
  std::vector<long> sizes;
  for (int k = 1; k < argc; ++k) sizes.push_back(std::atol(argv[k]));
  if (sizes.empty()) sizes = {1000L, 10000L, 100000L};
  RTCDevice device = rtcNewDevice("threads=1");
  std::printf("Ray queries, Embree rtcIntersect1 beside IntersectionRayScene (one core, millions a second)\n");
  std::printf("%9s | %8s %8s %6s | %8s %8s %6s | %7s | %6s %6s %6s %6s | %16s\n", "N", "E light", "ours", "ratio",
              "E surf", "ours", "ratio", "surf n", "E s", "ours s", "query", "-t", "answer digest");
  for (long n : sizes) Row(device, n);
  std::printf(
      "(1,000,000 rays from the light, one from each front hit, the best rate of three runs each;\n"
      " build columns: seconds, ours with reading the scene file, the ray query's part alone on\n"
      " one thread and on every core; the digest covers every answer; below each row the same\n"
      " rays parted by the object that answers them, as nanoseconds a query)\n");
  rtcReleaseDevice(device);
  return 0;
}
