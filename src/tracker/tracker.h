// The tracker unit: its configuration record read into the pages «Трекер» and «Сервер» and
// written back from them (a copy of the written frame kept as "123.cfg" in the program folder),
// its live data, and its IMEI and SIM number with the serial-number binding record. Requests go
// into the outbox; the exchange engine hands the answers to the show_* functions.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "connection/outbox.h"
#include "files/day_file.h"
#include "model/window_model.h"
#include "protocol/frame.h"
#include "seams/seams.h"
#include "tracker/placeholders.h"
#include "tracker/record.h"

namespace velkon {

inline constexpr const char* kConfigCopyName = "123.cfg";

// Status texts of refused answers of the unit.
inline constexpr std::string_view kConfigurationCut =
    "Конфигурация не прочитана: ответ трекера неполный.";
inline constexpr std::string_view kConfigurationDamaged =
    "Конфигурация не прочитана: ответ трекера повреждён.";
inline constexpr std::string_view kDamagedUnitAnswer = "Ответ трекера повреждён и отброшен.";

// Until a whole configuration answer has come on this link, the fields are not the unit's: a
// write would replace the unit's server, passwords and channels with whatever the pages show.
inline constexpr std::string_view kReadConfigurationFirst =
    "Конфигурация трекера ещё не прочитана. Сначала нажмите «Читать»: «Установить» записывает "
    "все поля сразу, и трекер получил бы значения, которых у него не было.";
inline constexpr std::string_view kWriteProfileUnreadQuestion =
    "Записать профиль в трекер, не прочитав его конфигурацию?";
// The mark beside the status line: fields changed and not written, or not read at all.
inline constexpr std::string_view kChangedMark = "Изменения не записаны в трекер";
inline constexpr std::string_view kNotReadMark = "Конфигурация не прочитана из трекера";
// The live data's status while the configuration read of this link has failed.
inline constexpr std::string_view kLiveDataConfigurationNotRead =
    "Получены данные. Конфигурация не прочитана: нажмите «Читать».";

class Tracker {
  public:
    // `decimal_separator` is the user's, for the live data's fractional values.
    Tracker(WindowModel& model, Dialogs& dialogs, Outbox& outbox, DayFile& day_file,
            std::filesystem::path program_folder, std::string decimal_separator = ".")
        : m_(model),
          dialogs_(dialogs),
          outbox_(outbox),
          day_file_(day_file),
          program_folder_(std::move(program_folder)),
          decimal_separator_(std::move(decimal_separator)) {}

    // Configuration record.
    void read_configuration();
    // A read that would replace fields changed and not written asks first; «Нет» keeps them.
    // For the page change and «Читать».
    void reread_configuration();
    // The unit acknowledged the write frame `request`: it becomes the copy "123.cfg" (a frame
    // that never reached the unit is no copy of it), and when it is the write queued last its
    // fields are now the unit's (a later write still waiting to go out is not confirmed by it).
    void acknowledge_write(std::string_view request);
    // The read request of this link got no whole configuration answer.
    void configuration_not_read();
    // Whether the fields are the unit's: read whole, or written and acknowledged, on this link.
    bool fields_are_units() const;
    // «Загрузить профиль…»: the fields come from a file, and «Установить» may write them after
    // asking, without a read.
    void fill_from_profile(const TrackerConfig& config);
    // Whether the record's fields differ from what the unit was last known to hold (read, or
    // written and acknowledged; the window's start values before either). Shown by the mark
    // beside the status line, kept current by update_changed_mark().
    bool fields_changed() const { return configuration_from_window() != unit_view_; }
    void update_changed_mark();
    // The fields as they stand are the unit's (start-up).
    void take_fields_as_the_units();
    // Checks the fields, queues the write frame and keeps its copy; a refusal names the field.
    void write_configuration();
    // Shows the record whole, or nothing (with the status) when the answer lacks a field.
    void show_configuration(const Frame& answer);
    // Puts every value `config` holds into its control (a profile loaded, or a read answer).
    void show_record(const TrackerConfig& config);
    // The record the two pages show now (every written field; version and serial left out).
    TrackerConfig configuration_from_window() const;

    // Live data (answer code A0).
    void show_live_data(const Frame& answer);

    // IMEI and SIM number (answer code A7), and the binding of a typed serial number to them.
    void read_imei();
    void show_imei(const Frame& answer);
    void bind_serial_number();

  private:
    void keep_copy(const Frame& frame);
    // The values placeholders stand for, as the window knows them for the open unit.
    UnitValues units_values() const;

    WindowModel& m_;
    Dialogs& dialogs_;
    Outbox& outbox_;
    DayFile& day_file_;
    std::filesystem::path program_folder_;
    std::string decimal_separator_;
    TrackerConfig unit_view_;               // the fields as the unit holds them, as far as is known
    std::optional<TrackerConfig> written_;  // the fields of the write last queued, until acked
    Frame written_frame_;                   // and its frame
    TrackerConfig written_fields_;          // and the fields it was filled from
    std::uint64_t written_link_ = 0;        // the link the write last queued was given on
    // The link on which the fields last became the unit's; none before the first read.
    std::optional<std::uint64_t> units_link_;
    // The link on which the serial number label was last filled by a read.
    std::optional<std::uint64_t> serial_link_;
    bool read_failed_ = false;   // this link's last configuration read got no whole answer
    bool from_profile_ = false;  // the fields were filled from a profile since the last read
};

// What the IMEI and SIM labels show when the unit did not tell them.
inline constexpr std::string_view kNotReadLabel = "NOT READ";

inline constexpr std::string_view kUnwrittenChangesQuestion =
    "Изменения не записаны в трекер. Прочитать конфигурацию заново и отменить их?";

// The IMEI and SIM number answer (code A7): IMEI in the 15 bytes after the code, one byte not
// interpreted, the SIM number in the next 20; each text as many of its bytes as the answer holds.
struct ImeiAnswer {
    std::string imei;  // UTF-8
    std::string sim;   // UTF-8
};
ImeiAnswer decode_imei_answer(std::string_view answer);

// The live data's values in the order they are shown, each with the control that shows it: the
// text a label shows (fractions with `separator`), or for the level bar its value. A value whose
// bytes a short answer lacks is left out.
struct LiveValue {
    ControlName control;
    std::string text;
};
std::vector<LiveValue> decode_live_data(std::string_view answer, std::string_view separator);

// The controls the live data fills, in the order they are shown.
std::vector<ControlName> live_data_controls();

// The request frames of the unit's commands.
Frame configuration_read_request();  // 3E CA A2 00 00 00 00 00 + check byte
Frame live_data_request();           // 3E CA A0 + check byte
Frame imei_request();                // 3E CA A7 + check byte

}  // namespace velkon
