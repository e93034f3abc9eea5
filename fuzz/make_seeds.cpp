// Writes the fuzz targets' seed corpus: real answers of the simulated sensor and tracker to the
// configurator's own requests, a few damaged and foreign ones, typed texts, and calibration tables
// of ours and of other programs. Run from the fuzz build as `fuzz_make_seeds <corpus folder>`;
// the files are kept in the repository.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "calibration/platform_export.h"
#include "calibration/session_file.h"
#include "profile/profile.h"
#include "protocol/cp1251.h"
#include "protocol/frame.h"
#include "sensor/sensor_commands.h"
#include "sim/device.h"
#include "tracker/record.h"
#include "tracker/tracker.h"

namespace fs = std::filesystem;
using namespace velkon;

namespace {

fs::path g_root;

void write_seed(const std::string& target, const std::string& name, const std::string& bytes) {
    const fs::path folder = g_root / target;
    fs::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary) << bytes;
}

std::string answer(sim::Device& device, const Frame& request) {
    return device.respond(request).value_or(std::string());
}

// The exchange target's input: one (page, read) pair per tick.
std::string ticks(std::initializer_list<std::pair<int, std::string>> reads) {
    std::string out;
    for (const auto& [page, read] : reads) {
        out += static_cast<char>(page | (read.size() > 255 ? 0x80 : 0));
        out += static_cast<char>(read.size() & 0xFF);
        out += read;
    }
    return out;
}

// UTF-16LE with its byte order mark, as a spreadsheet's «Unicode text» export writes it (the
// seeds hold only characters of the basic plane).
std::string utf16le(const std::string& utf8) {
    std::string out = "\xFF\xFE";
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        char32_t cp = lead;
        std::size_t extra = lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        if (extra) cp = lead & (extra == 2 ? 0x0F : 0x1F);
        for (std::size_t k = 1; k <= extra; ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
        out += static_cast<char>(cp & 0xFF);
        out += static_cast<char>(cp >> 8);
        i += extra + 1;
    }
    return out;
}

// Calibration tables: our own files and exports, and tables as spreadsheets and other programs
// write them.
void write_calibration_seeds() {
    using namespace velkon::calibration;
    SessionInfo info;
    info.started = "10.12.2026 09:15:30";
    info.serial = "4242";
    info.imei = "866795030012345";
    info.vehicle = "КамАЗ А123ВС; левый бак, 200 л";
    info.installer = "Петров \"Сервис\"";
    info.firmware = "2.13";
    info.notes = "бак трапеция";
    info.portion = 12.5;
    info.tank_volume = 200;
    info.start_volume = 3.25;
    info.full_scale = 4096;
    info.rule = {7.5, 1.5};
    Session rising(info);
    for (const Point& p : {Point{3.25, 40}, Point{15.75, 1101.5}, Point{28.25, 2230.25},
                           Point{40.75, 3228.3}, Point{200, 4094}})
        rising.add(p);
    Session marked = rising;
    marked.add({50, 3000.125});  // falls, and a leak's negative portion
    marked.info().portion = -5;
    marked.info().tank_volume.reset();

    const std::string target = "fuzz_calibration_csv";
    write_seed(target, "session", session_text(rising));
    write_seed(target, "session_marked", session_text(marked));
    write_seed(target, "csv_comma", csv_text(marked, ','));
    write_seed(target, "csv_point", csv_text(rising, '.'));
    write_seed(target, "platform", platform_table(rising, {}).text);
    write_seed(target, "platform_litres_tab", platform_table(rising, {false, '\t'}).text);
    write_seed(target, "platform_space", platform_table(rising, {true, ' '}).text);
    write_seed(target, "quoted_commas",
               "\"Объём, л\",\"Уровень\"\r\n\"0\",\"12\"\r\n20,\"131,5\"\r\n40,250\r\n");
    const std::string russian = "Литры;Уровень ДУТ\r\n0;12\r\n20;131,5\r\n40;250\r\n";
    write_seed(target, "cp1251", utf8_to_cp1251(russian).value_or(""));
    write_seed(target, "utf16", utf16le("Объём\tУровень\r\n0\t12\r\n20\t131,5\r\n"));
    write_seed(target, "empty_rows",
               ";;;\r\nОбъём, л;Уровень;;\r\n0;12;;\r\n20;131,5;;\r\n;;;\r\n;;;\r\n");
    write_seed(target, "cr_only", "Level;Volume\r12;0\r131.5;20\r250;40\r");
    write_seed(target, "bare_4096", "0;1200\n20;2500,5\n40;4095\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_make_seeds <corpus folder>\n");
        return 2;
    }
    g_root = argv[1];

    sim::Device plain;
    sim::SensorState wide;  // the 4096 range, an old firmware with a leading byte, no mode byte
    wide.mode = 0x86;
    wide.firmware = 129;
    wide.firmware_lead = 2;
    wide.readings_carry_mode = false;
    wide.temperature = -30;
    sim::TrackerState cyrillic;  // texts in the code page's upper half, fields full to the brim
    cyrillic.config.apn = "\xE8\xED\xF2\xE5\xF0\xED\xE5\xF2";  // «интернет»
    cyrillic.config.server = "velkon-server.example.invalid.org.ru.local";
    cyrillic.config.period = 5;
    cyrillic.config.channel_flags = {0x81, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01};
    cyrillic.imei = "35693803564380\xFF";
    sim::Device other(wide, cyrillic);

    const Frame readings = readings_request();
    const Frame version = make_frame({0x31, 0x01, 0xFC});
    const Frame mode = make_frame({0x31, 0x01, 0xF2, 0x12});
    const Frame config = configuration_read_request();
    const Frame live = live_data_request();
    const Frame imei = imei_request();

    for (sim::Device* device : {&plain, &other}) {
        const std::string tag = device == &plain ? "plain" : "other";
        write_seed("fuzz_readings", tag, answer(*device, readings));
        write_seed("fuzz_version", tag, answer(*device, version));
        write_seed("fuzz_configuration", tag, answer(*device, config));
        write_seed("fuzz_live_data", tag, answer(*device, live));
        write_seed("fuzz_imei", tag, answer(*device, imei));
    }
    const std::string good_readings = answer(plain, readings);
    const std::string good_config = answer(plain, config);
    write_seed("fuzz_readings", "cut", good_readings.substr(0, 12));
    write_seed("fuzz_configuration", "cut", good_config.substr(0, 100));
    write_seed("fuzz_version", "short", answer(plain, version).substr(0, 7));

    write_seed("fuzz_mode", "answer", answer(plain, mode));
    write_seed("fuzz_mode", "every_mode",
               std::string("\x00\x02\x04\x06\x10\x12\x14\x16\x80\x89\xFF", 11));

    write_seed("fuzz_numbers", "integer", "125");
    write_seed("fuzz_numbers", "fraction", " -2,5 ");
    write_seed("fuzz_numbers", "too_wide", "99999999999");
    write_seed("fuzz_numbers", "cyrillic", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
    write_seed("fuzz_numbers", "foreign", "\xE2\x82\xAC 1.5e3");
    write_seed("fuzz_numbers", "config",
               std::string("internet\\\x01"
                           "gdata\\\x01"
                           "20332\\\x01"
                           "60\\\x01\x02\x00\x00\x00\x01",
                           34));

    write_seed("fuzz_exchange", "readings",
               ticks({{0, good_readings}, {0, ""}, {0, good_readings}}));
    write_seed("fuzz_exchange", "tracker",
               ticks({{1, good_config}, {1, answer(plain, live)}, {2, answer(plain, imei)}}));
    write_seed("fuzz_exchange", "split",
               ticks({{1, good_config.substr(0, 90)}, {1, good_config.substr(90)}}));
    write_seed("fuzz_exchange", "foreign",
               ticks({{0, "+CSQ: 17,0\r\n"},
                      {0, sim::Device{}.answer(readings).bytes() + "\x3E\x01\x99\x00"},
                      {0, answer(plain, version)}}));
    const TrackerConfig record = decode_config_answer(good_config);
    write_seed("fuzz_profile", "profile", profile_text(record));
    write_seed("fuzz_profile", "config_copy", encode_config_frame(record).frame);
    write_seed("fuzz_profile", "not_json", "{\"format\": \"velkon-profile/1\", \"apn\": ");

    write_calibration_seeds();

    std::printf("seeds written under %s\n", g_root.c_str());
    return 0;
}
