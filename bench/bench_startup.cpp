// Start-up to the first frame: velkon-configurator against a bare Qt 6 window (bench_startup_bare),
// side by side in one run, each started anew several times, in turn.
//
// Both run on Qt's xcb platform against an Xvfb of the benchmark's own, whatever
// QT_QPA_PLATFORM says (the offscreen platform draws nowhere another process could watch). The
// benchmark watches the X server: the first frame is there once the program's top-level window
// is mapped and a pixel of it is no longer the black of the root window (Qt gives its windows no
// background, so the server draws nothing into one before the program does). The time counts
// from just before the program is started. The first run of each program is a warm-up and not
// counted; every run ends the program (SIGTERM) once its frame is seen and reads its peak memory.
//
// Counters (medians of the runs): bare_ms and configurator_ms to the first frame, ratio of the
// two (target: at most 1.15), map_ratio (to the window mapped), bare_rss_mb and
// configurator_rss_mb; min_ratio, the ratio of the fastest runs, and cpu_ratio, of the processor
// time to the first frame (bare_cpu_ms, configurator_cpu_ms), are steadier on a busy machine.
// The argument is the number of runs of each program.
//
// VELKON_BENCH_CONFIGURATOR names another configurator to measure (an installed one);
// VELKON_BENCH_EARLIER an earlier build to run in turn with the two, for the effect of a change
// on the same machine at the same time (earlier_ms, earlier_ratio, earlier_min_ratio,
// earlier_cpu_ratio).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr auto kRunTimeout = std::chrono::seconds(30);
// How often a mapped window's pixels are looked at: the resolution of the figure.
constexpr auto kPixelLook = std::chrono::microseconds(500);

double ms_between(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Runs `args` with `env`, its output thrown away. -1 when it could not be started.
pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    std::vector<char*> argv, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Xvfb on the first free display it finds, with a black root window, and our connection to it
// listening for the windows mapped on it.
class VirtualDisplay {
  public:
    VirtualDisplay() {
        int fds[2];
        if (pipe(fds) != 0) return;
        fcntl(fds[0], F_SETFD, FD_CLOEXEC);
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) env.emplace_back(*e);
        pid_ = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1024x768x24",
                      "-nolisten", "tcp", "-br", "-noreset"},
                     env);
        close(fds[1]);
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        char c = 0;
        while (pid_ > 0 && poll(&p, 1, 10'000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (number.empty()) return;
        name_ = ":" + number;
        int screen_number = 0;
        connection_ = xcb_connect(name_.c_str(), &screen_number);
        if (xcb_connection_has_error(connection_)) return;
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
        for (int i = 0; i < screen_number; ++i) xcb_screen_next(&screens);
        root_ = screens.data->root;
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(connection_);
        ok_ = true;
    }
    ~VirtualDisplay() {
        if (connection_) xcb_disconnect(connection_);
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    bool ok() const { return ok_; }
    const std::string& name() const { return name_; }

    // Forgets the events of earlier runs (their windows' unmapping and destruction).
    void drain() {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) free(event);
    }

    // The next top-level window mapped (not a menu or tooltip), when it is.
    std::optional<xcb_window_t> wait_for_map(Clock::time_point deadline) {
        while (true) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
                std::optional<xcb_window_t> mapped;
                if ((event->response_type & 0x7F) == XCB_MAP_NOTIFY) {
                    const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
                    if (!map->override_redirect) mapped = map->window;
                }
                free(event);
                if (mapped) return mapped;
            }
            const auto left = deadline - Clock::now();
            if (left <= Clock::duration::zero() || xcb_connection_has_error(connection_))
                return std::nullopt;
            pollfd p{xcb_get_file_descriptor(connection_), POLLIN, 0};
            poll(&p, 1,
                 static_cast<int>(
                     std::chrono::duration_cast<std::chrono::milliseconds>(left).count() + 1));
        }
    }

    // Whether the window shows anything but black by the deadline: its centre or a corner.
    bool wait_for_frame(xcb_window_t window, Clock::time_point deadline) {
        auto geometry =
            xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr);
        if (!geometry) return false;
        const int w = geometry->width, h = geometry->height;
        free(geometry);
        const int points[][2] = {{w / 2, h / 2}, {4, 4}, {w - 5, h - 5}};
        while (Clock::now() < deadline) {
            for (const auto& [x, y] : points) {
                if (x < 0 || y < 0 || x >= w || y >= h) continue;
                auto* image =
                    xcb_get_image_reply(connection_,
                                        xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP,
                                                      window, static_cast<std::int16_t>(x),
                                                      static_cast<std::int16_t>(y), 1, 1, ~0u),
                                        nullptr);
                if (!image) return false;  // the window is gone
                const std::uint8_t* data = xcb_get_image_data(image);
                const int length = std::min(xcb_get_image_data_length(image), 3);
                const bool drawn = std::any_of(data, data + length, [](auto b) { return b; });
                free(image);
                if (drawn) return true;
            }
            std::this_thread::sleep_for(kPixelLook);
        }
        return false;
    }

  private:
    pid_t pid_ = -1;
    std::string name_;
    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
    bool ok_ = false;
};

struct Run {
    double map_ms = 0;
    double frame_ms = 0;
    double cpu_ms = 0;
    double rss_mb = 0;
};

// The processor time a running process has had so far, all its threads together (the
// scheduler's count, in nanoseconds).
double cpu_ms_of(pid_t pid) {
    double total = 0;
    std::error_code ec;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        std::ifstream in(task.path() / "schedstat");
        double on_cpu_ns = 0;
        if (in >> on_cpu_ns) total += on_cpu_ns / 1e6;
    }
    return total;
}

std::optional<Run> run_once(VirtualDisplay& display, const std::string& program,
                            const std::vector<std::string>& env) {
    display.drain();
    const auto start = Clock::now();
    const pid_t pid = spawn({program}, env);
    if (pid < 0) return std::nullopt;
    Run run;
    bool framed = false;
    if (const auto window = display.wait_for_map(start + kRunTimeout)) {
        run.map_ms = ms_between(start, Clock::now());
        framed = display.wait_for_frame(*window, start + kRunTimeout);
        run.frame_ms = ms_between(start, Clock::now());
        run.cpu_ms = cpu_ms_of(pid);
    }
    kill(pid, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.rss_mb = usage.ru_maxrss / 1024.0;
    if (!framed) return std::nullopt;
    return run;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The environment of both programs: this display and platform, and a data folder of their own
// (the configurator's day file goes there, not into the user's).
std::vector<std::string> program_env(const std::string& display, const fs::path& data) {
    const std::vector<std::string> replaced = {
        "DISPLAY=",       "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=",
        "XDG_DATA_HOME=", "XAUTHORITY=",      "VELKON_EXTRA_PORTS="};
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const bool drop = std::any_of(replaced.begin(), replaced.end(),
                                      [&](const auto& name) { return entry.rfind(name, 0) == 0; });
        if (!drop) env.push_back(entry);
    }
    env.push_back("DISPLAY=" + display);
    env.push_back("QT_QPA_PLATFORM=xcb");
    env.push_back("XDG_DATA_HOME=" + data.string());
    return env;
}

void BM_StartUpToFirstFrame(benchmark::State& state) {
    VirtualDisplay display;
    if (!display.ok()) {
        state.SkipWithError("Xvfb did not start (Debian package xvfb)");
        return;
    }
    std::string data_template = (fs::temp_directory_path() / "velkon-bench-XXXXXX").string();
    if (!mkdtemp(data_template.data())) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const fs::path data = data_template;
    const auto env = program_env(display.name(), data);
    const char* other = std::getenv("VELKON_BENCH_CONFIGURATOR");
    std::vector<std::string> programs = {VELKON_BARE_WINDOW, other ? other : VELKON_CONFIGURATOR};
    if (const char* earlier = std::getenv("VELKON_BENCH_EARLIER")) programs.push_back(earlier);
    const int n = static_cast<int>(programs.size());
    std::vector<std::vector<Run>> runs(n);
    const int count = static_cast<int>(state.range(0));
    for (auto _ : state) {
        bool failed = false;
        for (int i = -1; i < count && !failed; ++i) {
            // In turn, each first as often as the others, so a drift of the machine hits all
            // alike.
            for (int k = 0; k < n && !failed; ++k) {
                const int which = (k + i + n) % n;
                const auto run = run_once(display, programs[which], env);
                if (!run) {
                    state.SkipWithError(("no first frame of " + programs[which]).c_str());
                    failed = true;
                } else if (i >= 0) {  // -1: the warm-up
                    runs[which].push_back(*run);
                }
            }
        }
    }
    std::error_code ignored;
    fs::remove_all(data, ignored);
    for (const auto& r : runs)
        if (r.size() != static_cast<std::size_t>(count)) return;
    auto figure = [&](int which, double Run::*field) {
        std::vector<double> values;
        for (const Run& r : runs[which]) values.push_back(r.*field);
        return median(values);
    };
    auto fastest = [&](int which) {
        double best = runs[which][0].frame_ms;
        for (const Run& r : runs[which]) best = std::min(best, r.frame_ms);
        return best;
    };
    const double bare = figure(0, &Run::frame_ms), ours = figure(1, &Run::frame_ms);
    state.counters["bare_ms"] = bare;
    state.counters["configurator_ms"] = ours;
    state.counters["ratio"] = ours / bare;
    // The fastest runs: what a busy machine adds to some runs is left out.
    state.counters["min_ratio"] = fastest(1) / fastest(0);
    state.counters["map_ratio"] = figure(1, &Run::map_ms) / figure(0, &Run::map_ms);
    // The processor time to the first frame: what other programs on the machine take leaves
    // it nearly unchanged.
    state.counters["bare_cpu_ms"] = figure(0, &Run::cpu_ms);
    state.counters["configurator_cpu_ms"] = figure(1, &Run::cpu_ms);
    state.counters["cpu_ratio"] = figure(1, &Run::cpu_ms) / figure(0, &Run::cpu_ms);
    state.counters["bare_rss_mb"] = figure(0, &Run::rss_mb);
    state.counters["configurator_rss_mb"] = figure(1, &Run::rss_mb);
    char label[200];
    int at = std::snprintf(label, sizeof label,
                           "first frame: configurator %.0f ms, bare Qt window %.0f ms, ratio %.2f",
                           ours, bare, ours / bare);
    if (n > 2) {
        const double earlier = figure(2, &Run::frame_ms);
        state.counters["earlier_ms"] = earlier;
        state.counters["earlier_ratio"] = earlier / bare;
        state.counters["earlier_min_ratio"] = fastest(2) / fastest(0);
        state.counters["earlier_cpu_ratio"] = figure(2, &Run::cpu_ms) / figure(0, &Run::cpu_ms);
        std::snprintf(label + at, sizeof label - at, "; earlier build %.0f ms, ratio %.2f", earlier,
                      earlier / bare);
    }
    state.SetLabel(label);
}
BENCHMARK(BM_StartUpToFirstFrame)
    ->Arg(10)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
