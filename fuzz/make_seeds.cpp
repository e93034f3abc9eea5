// Writes the fuzz targets' seed corpus: real answers of the simulated sensor and tracker to the
// configurator's own requests, a few damaged and foreign ones, and typed texts. Run from the
// fuzz build as `fuzz_make_seeds <corpus folder>`; the files are kept in the repository.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "profile/profile.h"
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

    std::printf("seeds written under %s\n", g_root.c_str());
    return 0;
}
