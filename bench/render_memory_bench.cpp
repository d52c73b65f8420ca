// Memory of a long render: `tavelo render` of 300 frames at 1080p (a
// footage still under a blur, a nested composition with a masked disc and a
// turning bar, moving across) to a PNG sequence and to an H.264 movie,
// against MLT's `melt` rendering the same job from MLT XML in the same run.
// Each renderer is a child process; its peak resident memory is the
// kernel's figure (wait4), and for tavelo the resident memory at frame 30
// and at the last frame is read from /proc/PID/status as the progress lines
// arrive (and at frame 100: the H.264 encoder takes its first 40-odd frames
// to fill its look-ahead). A third tavelo run renders the movie under a
// 512 MB budget.
//   TAVELO_BENCH_FRAMES=N renders N frames instead of 300.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr double kMiB = 1024.0 * 1024.0;

struct Run {
  std::string name;
  int code = -1;
  double seconds = 0, cpu = 0;         // wall time; CPU time of the process (all threads)
  long peakKB = 0;                   // the kernel's high-water mark of resident memory
  long earlyKB = 0, midKB = 0, lateKB = 0;  // resident at frames 30 and 100 and at the last frame
};

long StatusKB(pid_t pid, const char* field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  const size_t n = std::strlen(field);
  while (std::getline(in, line))
    if (line.compare(0, n, field) == 0) return std::atol(line.c_str() + n);
  return 0;
}

// Runs argv with standard error on a pipe; for tavelo the progress lines
// ("frame N/TOTAL ...") mark when to sample resident memory.
Run Measure(const std::string& name, const std::vector<std::string>& argv, int frames) {
  Run r;
  r.name = name;
  int fds[2];
  if (pipe(fds) != 0) return r;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 2);
    const int devnull = ::open("/dev/null", O_RDWR);
    dup2(devnull, 0);
    dup2(devnull, 1);
    close(fds[0]);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  FILE* err = fdopen(fds[0], "r");
  char line[4096];
  const std::string early = "frame 30/", mid = "frame 100/", late = "frame " + std::to_string(frames) + "/";
  while (err && std::fgets(line, sizeof line, err)) {
    if (std::strncmp(line, early.c_str(), early.size()) == 0) r.earlyKB = StatusKB(pid, "VmRSS:");
    if (std::strncmp(line, mid.c_str(), mid.size()) == 0) r.midKB = StatusKB(pid, "VmRSS:");
    if (std::strncmp(line, late.c_str(), late.size()) == 0) r.lateKB = StatusKB(pid, "VmRSS:");
  }
  if (err) std::fclose(err);
  int status = 0;
  rusage use{};
  wait4(pid, &status, 0, &use);
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.peakKB = use.ru_maxrss;
  auto secs = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  r.cpu = secs(use.ru_utime) + secs(use.ru_stime);
  return r;
}

void WriteText(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }

// The plate (a 1080p still with colour and soft edges) and the disc's
// luma mask for melt, drawn by tavelo itself.
const char kPlate[] = R"({"comps": [
 {"name": "Plate", "width": 1920, "height": 1080, "duration": 1, "background": "#203a70", "layers": [
  {"solid": {"color": "#29adff", "width": 1200, "height": 700}, "position": [700, 500],
   "masks": [{"oval": [0, 0, 1200, 700], "feather": 60}]},
  {"solid": {"color": "#ff77a8", "width": 900, "height": 500}, "position": [1300, 700], "rotation": 20},
  {"solid": {"color": "#00e436", "width": 300, "height": 300}, "position": [300, 800],
   "masks": [{"path": [[150, 0], [300, 300], [0, 300]]}]}]},
 {"name": "Disc", "width": 640, "height": 640, "duration": 1, "background": "#000000", "layers": [
  {"solid": {"color": "#ffffff"}, "masks": [{"oval": [20, 20, 620, 620], "feather": 8}]}]}]})";

std::string Job(int frames) {
  const double seconds = frames / 30.0;
  char buf[2048];
  std::snprintf(buf, sizeof buf, R"({"footage": [{"name": "Plate", "file": "plate.png"}],
 "comps": [
  {"name": "Badge", "width": 640, "height": 640, "duration": %.4f, "layers": [
   {"name": "Disc", "solid": {"color": "#ffec27"}, "masks": [{"oval": [20, 20, 620, 620], "feather": 8}]},
   {"name": "Bar", "solid": {"color": "#ff004d", "width": 400, "height": 80},
    "rotation": [{"time": 0, "value": 0}, {"time": %.4f, "value": 360}]}]},
  {"name": "Main", "width": 1920, "height": 1080, "duration": %.4f, "layers": [
   {"name": "Plate", "source": "Plate", "effects": [{"effect": "Fast Blur", "params": {"Radius": 4}}]},
   {"name": "Badge", "source": "Badge",
    "position": [{"time": 0, "value": [400, 540]}, {"time": %.4f, "value": [1520, 540]}]}]}]})",
                seconds, seconds, seconds, seconds);
  return buf;
}

// The same job for melt: the plate under a box blur, and a nested tractor
// (the disc, given its alpha by the luma mask, and the bar turning on it)
// placed by an affine transition that moves it across.
std::string Mlt(int frames) {
  const int last = frames - 1;
  char buf[4096];
  std::snprintf(buf, sizeof buf, R"(<mlt>
 <profile width="1920" height="1080" frame_rate_num="30" frame_rate_den="1" sample_aspect_num="1"
  sample_aspect_den="1" display_aspect_num="16" display_aspect_den="9" progressive="1" colorspace="709"/>
 <producer id="plate" in="0" out="%d"><property name="mlt_service">qimage</property>
  <property name="resource">plate.png</property><property name="length">%d</property>
  <filter><property name="mlt_service">box_blur</property><property name="hradius">4</property>
   <property name="vradius">4</property></filter></producer>
 <producer id="disc" in="0" out="%d"><property name="mlt_service">color</property>
  <property name="resource">0xffec27ff</property>
  <filter><property name="mlt_service">shape</property><property name="resource">disc.png</property>
   <property name="use_luminance">1</property></filter></producer>
 <producer id="bar" in="0" out="%d"><property name="mlt_service">color</property>
  <property name="resource">0xff004dff</property></producer>
 <producer id="clear" in="0" out="%d"><property name="mlt_service">color</property>
  <property name="resource">0x00000000</property></producer>
 <tractor id="badge" in="0" out="%d"><multitrack>
  <track producer="clear"/><track producer="disc"/><track producer="bar"/></multitrack>
  <transition><property name="mlt_service">affine</property><property name="a_track">0</property>
   <property name="b_track">1</property><property name="rect">0 0 1920 1080</property>
   <property name="distort">1</property></transition>
  <transition><property name="mlt_service">affine</property><property name="a_track">0</property>
   <property name="b_track">2</property><property name="rect">760 500 400 80</property>
   <property name="fix_rotate_x">0=0;%d=360</property><property name="distort">1</property></transition>
 </tractor>
 <tractor id="main" in="0" out="%d"><multitrack>
  <track producer="plate"/><track producer="badge"/></multitrack>
  <transition><property name="mlt_service">affine</property><property name="a_track">0</property>
   <property name="b_track">1</property><property name="rect">0=80 220 640 640;%d=1200 220 640 640</property>
   <property name="distort">1</property></transition>
 </tractor>
</mlt>
)",
                last, frames, last, last, last, last, last, last, last);
  return buf;
}

double MiB(long kb) { return kb / 1024.0; }

void Print(const Run& r) {
  std::printf("  %-30s exit %3d  %6.1f s (CPU %6.1f s)  peak %6.1f MiB", r.name.c_str(), r.code, r.seconds, r.cpu,
              MiB(r.peakKB));
  if (r.earlyKB > 0)
    std::printf("  frame 30 %6.1f, 100 %6.1f, last %6.1f MiB", MiB(r.earlyKB), MiB(r.midKB), MiB(r.lateKB));
  std::printf("\n");
}

}  // namespace

int main() {
  int frames = 300;
  if (const char* f = std::getenv("TAVELO_BENCH_FRAMES")) frames = std::max(31, std::atoi(f));
  const std::string tavelo = TAVELO_HOST;
  const fs::path dir = fs::temp_directory_path() / ("tavelo_memory_bench." + std::to_string(getpid()));
  fs::create_directories(dir / "png");
  fs::create_directories(dir / "melt");
  if (chdir(dir.c_str()) != 0) return 1;
  WriteText("plates.json", kPlate);
  WriteText("job.json", Job(frames));
  WriteText("job.mlt", Mlt(frames));
  double load[3] = {};
  getloadavg(load, 3);
  std::printf("Memory of a %d-frame 1080p render (load average %.1f %.1f %.1f)\n", frames, load[0], load[1],
              load[2]);
  for (const char* comp : {"Plate", "Disc"}) {
    const std::string out = std::string(comp) == "Plate" ? "plate.png" : "disc.png";
    if (Measure(comp, {tavelo, "frame", "plates.json", "-c", comp, "-t", "0", "-o", out, "-q"}, frames).code != 0) {
      std::printf("making %s failed\n", out.c_str());
      return 1;
    }
  }
  std::vector<Run> runs;
  runs.push_back(Measure("tavelo -> PNG sequence", {tavelo, "render", "job.json", "-c", "Main", "-o", "png/f_#####.png"}, frames));
  runs.push_back(Measure("tavelo -> MP4", {tavelo, "render", "job.json", "-c", "Main", "-o", "m.mp4"}, frames));
  runs.push_back(Measure("tavelo --memory 512M -> MP4",
                         {tavelo, "--memory", "512M", "render", "job.json", "-c", "Main", "-o", "m512.mp4"}, frames));
  const bool melt = std::system("command -v melt >/dev/null 2>&1") == 0;
  if (melt) {
    runs.push_back(Measure("melt -> PNG sequence",
                           {"melt", "-quiet", "job.mlt", "-consumer", "avformat:melt/f_%05d.png", "vcodec=png",
                            "real_time=-1"},
                           frames));
    runs.push_back(Measure("melt -> MP4", {"melt", "-quiet", "job.mlt", "-consumer", "avformat:melt.mp4",
                                           "vcodec=libx264", "crf=18", "threads=0", "acodec=aac", "real_time=-1"},
                           frames));
  }
  for (const Run& r : runs) Print(r);
  const auto& png = runs[0];
  const auto& mp4 = runs[1];
  const auto& small = runs[2];
  auto flat = [](const Run& r, long from) { return from > 0 ? double(r.lateKB) / from : 0.0; };
  std::printf("resident at the last frame / at frame 30: PNG %.3f, MP4 %.3f, MP4 under 512 MB %.3f (goal: within 1.10)\n",
              flat(png, png.earlyKB), flat(mp4, mp4.earlyKB), flat(small, small.earlyKB));
  std::printf("resident at the last frame / at frame 100: PNG %.3f, MP4 %.3f, MP4 under 512 MB %.3f\n",
              flat(png, png.midKB), flat(mp4, mp4.midKB), flat(small, small.midKB));
  std::printf("peak under the 512 MB budget: %.1f MiB (goal: at most 512)\n", MiB(small.peakKB));
  if (melt && runs.size() == 5)
    std::printf("peak / melt's peak: PNG %.2f, MP4 %.2f (goal: at most 1.0)\n", double(png.peakKB) / runs[3].peakKB,
                double(mp4.peakKB) / runs[4].peakKB);
  else
    std::printf("melt comparison skipped: melt is not installed (scripts/install-deps.sh installs it).\n");
  fs::remove_all(dir);
  for (const Run& r : runs)
    if (r.code != 0) return 1;
  return 0;
}
