// The handlers' small seams to the outside world: message and input boxes, the clock, the
// program folder, and how the exchange tick reads the port without stalling the window.
#pragma once

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
};

// Runs the tick's port read and hands the received text to `done` on the window's thread, and the
// flush that ends an answered tick. The synchronous runner does both before returning; the front
// end's runner does them on a worker thread, in the order asked, so the window keeps running while
// a read waits for the line to fall silent or a flush waits for a long frame to leave a real
// adapter at 19200 baud (about 90 ms for the configuration write).
class ReadRunner {
  public:
    virtual ~ReadRunner() = default;
    virtual void read(SerialPort& port, std::function<void(std::string)> done) = 0;
    virtual void flush(SerialPort& port);
};

class SyncReadRunner : public ReadRunner {
  public:
    void read(SerialPort& port, std::function<void(std::string)> done) override;
};

class SystemClock : public Clock {
  public:
    std::string now_text() override;
};

// Where the day files and 123.cfg go: $XDG_DATA_HOME/velkon-configurator, by default
// ~/.local/share/velkon-configurator (the executable's own folder is usually not writable).
std::filesystem::path default_program_folder();

}  // namespace velkon
