// Helpers shared by the test areas: a pseudo-terminal pair standing in for a serial line, a
// temporary folder, and a scoped environment variable. Plain POSIX, no GoogleTest inside, so
// benchmarks and the simulator's tests can use them too.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/control_names.h"

namespace velkon::test {

using namespace std::chrono_literals;

// A pseudo-terminal pair: the master side plays the device at the far end of the cable, the
// slave path is what the code under test opens as its "serial port".
//
// - The line is raw from the start (no echo, no CR/LF translation), so bytes written before the
//   code under test configures the port pass unchanged.
// - The pair keeps a slave descriptor of its own open until close_slave_hold(), so the master
//   does not read EIO while the code under test has the port closed. That descriptor never
//   reads, so it takes no bytes away.
// - close_master() is the "unplug": every slave descriptor is hung up (poll reports POLLHUP,
//   reads return 0 or EIO, writes fail with EIO).
// - The master descriptor is non-blocking; the read and write helpers wait with poll() up to a
//   deadline and never sleep.
class PtyPair {
  public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // False when no pseudo-terminal could be made; error() then says why.
    bool ok() const { return master_ >= 0 && !slave_path_.empty(); }
    const std::string& error() const { return error_; }

    const std::string& slave_path() const { return slave_path_; }
    int master_fd() const { return master_; }
    // The pair's own slave descriptor (-1 after close_slave_hold()): tcgetattr on it shows the
    // line settings the code under test applied, as both share one terminal.
    int slave_fd() const { return slave_hold_; }

    // Writes all of `bytes` to the master; false when that did not finish within `timeout`.
    bool write_master(std::string_view bytes, std::chrono::milliseconds timeout = 2s);

    // Reads from the master until `count` bytes came or `timeout` passed; returns what came.
    std::string read_master(std::size_t count, std::chrono::milliseconds timeout = 2s);

    // Reads what the master has within `timeout`, stopping once nothing more comes for `quiet`.
    std::string read_master_until_quiet(std::chrono::milliseconds quiet = 50ms,
                                        std::chrono::milliseconds timeout = 2s);

    // The unplug. Safe to call twice.
    void close_master();
    // Drops the pair's own slave descriptor (then the master reads EIO once no one holds the
    // slave open).
    void close_slave_hold();

  private:
    int master_ = -1;
    int slave_hold_ = -1;
    std::string slave_path_;
    std::string error_;
};

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it at the end of scope.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Creates `relative` (and the folders above it) and returns its full path.
    std::filesystem::path make_dir(const std::filesystem::path& relative) const;
    // Writes `content` to `relative`, creating the folders above it; returns the full path.
    std::filesystem::path write_file(const std::filesystem::path& relative,
                                     std::string_view content) const;
    // The content of `relative`, or nothing when it cannot be read.
    std::optional<std::string> read_file(const std::filesystem::path& relative) const;

  private:
    std::filesystem::path path_;
};

// Sets (or, with nullopt, unsets) an environment variable and restores the old state at the end
// of scope. Not thread-safe, like setenv itself: use it before starting threads.
class ScopedEnv {
  public:
    ScopedEnv(std::string name, const std::optional<std::string>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::optional<std::string> old_;
};

// The texts of control names, to compare with the names a change listener heard.
inline std::vector<std::string> names_of(std::initializer_list<ControlName> names) {
    std::vector<std::string> out;
    for (ControlName n : names) out.push_back(n.str());
    return out;
}

}  // namespace velkon::test
