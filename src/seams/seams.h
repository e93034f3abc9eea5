// The handlers' small seams to the outside world: message and input boxes, the clock, the
// program folder, and how the exchange tick reads the port without stalling the window.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace velkon {

class SerialPort;

inline constexpr const char* kAppTitle = "Orvik";

class Dialogs {
  public:
    enum class Icon { None, Exclamation, Critical };
    virtual ~Dialogs() = default;
    // A modal box with an OK button; titled "Orvik" unless a title is given.
    virtual void message(const std::string& text, Icon icon = Icon::None,
                         const std::string& title = kAppTitle) = 0;
    // A modal Yes/No box titled "Orvik"; true for Yes.
    virtual bool yes_no(const std::string& text) = 0;
    // The same question under a title of its own (the windows the description does not know);
    // a front end without titled questions asks it as yes_no does.
    virtual bool yes_no_titled(const std::string& text, const std::string& title) {
        (void)title;
        return yes_no(text);
    }
    // A modal input box; a cancelled box gives the empty text.
    virtual std::string input(const std::string& prompt, const std::string& title,
                              const std::string& initial) = 0;

    // The standard boxes that pick a file to open or a name to save under; the empty path when
    // cancelled. `start` is the folder shown first (with a suggested name for saving); `filters`
    // are "name" and "*.a *.b" pairs, the first one chosen. A front end without file boxes offers
    // none: both give the empty path.
    struct FileFilter {
        std::string name;
        std::string patterns;
    };
    virtual std::filesystem::path open_file(const std::string& title,
                                            const std::filesystem::path& start,
                                            const std::vector<FileFilter>& filters);
    virtual std::filesystem::path save_file(const std::string& title,
                                            const std::filesystem::path& start,
                                            const std::vector<FileFilter>& filters);
};

class Clock {
  public:
    virtual ~Clock() = default;
    // The current local date and time as "DD.MM.YYYY HH:MM:SS".
    virtual std::string now_text() = 0;
    // A reading that only grows, for telling how long something has lasted: it does not jump
    // with the date and time. Its zero means nothing.
    virtual std::chrono::milliseconds monotonic() = 0;
};

// What the port's side of one exchange tick gave: the bytes read, and whether the request went
// out whole (true when there was none to send).
struct TickIo {
    std::string received;
    bool written = true;
};

// Runs the port's side of an exchange tick, and the flush that ends an answered tick, away from
// the window's thread, and hands the result to `done` on the window's thread. The synchronous
// runner does both before returning; the front end's runner does them on a worker thread, in
// the order asked, so the window keeps running while a read waits for the line to fall silent,
// a write waits for a stuck adapter, or a flush waits for a long frame to leave a real adapter
// at 19200 baud (about 90 ms for the configuration write).
class PortIoRunner {
  public:
    virtual ~PortIoRunner() = default;
    // Reads what came; then discards input too stale to answer anything (more than one read's
    // worth still waiting: a flood, or a device that talks on its own) and, when `request` is
    // not empty and `still_current()` says the link is the one the tick began on, writes it.
    // `still_current` is called on the runner's thread.
    virtual void exchange(SerialPort& port, std::string request,
                          std::function<bool()> still_current,
                          std::function<void(TickIo)> done) = 0;
    virtual void flush(SerialPort& port);

  protected:
    // The work of exchange(), on the calling thread.
    static TickIo exchange_now(SerialPort& port, const std::string& request,
                               const std::function<bool()>& still_current);
};

class SyncIoRunner : public PortIoRunner {
  public:
    void exchange(SerialPort& port, std::string request, std::function<bool()> still_current,
                  std::function<void(TickIo)> done) override;
};

class SystemClock : public Clock {
  public:
    std::string now_text() override;
    std::chrono::milliseconds monotonic() override;
};

// Where the day files and 123.cfg go. Linux: $XDG_DATA_HOME/velkon-configurator, by default
// ~/.local/share/velkon-configurator (the executable's own folder is usually not writable).
// Relative paths are ignored; empty when the user has no home folder at all.
// Windows: the executable's folder, or %LOCALAPPDATA%\velkon-configurator where that folder
// cannot be written.
std::filesystem::path default_program_folder();

}  // namespace velkon
