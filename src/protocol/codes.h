// The bytes of the line protocol, named once for every layer: the frame heads, the request and
// answer codes, and the lengths a whole answer has. The table of answer kinds with their length
// ranges (protocol/answer.cpp) is built from these.
//
// A request is a head (prefix and address), a code, its data and the check byte. The sensor's
// requests start with kSensorPrefix; the unit's requests and every answer, from either device,
// start with kAnswerPrefix followed by the unit's address. Each device answers a request with
// the request's own code (the sensor may answer any command with code::kWrongPassword).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace velkon {

inline constexpr std::uint8_t kSensorPrefix = 0x31;
inline constexpr std::uint8_t kAnswerPrefix = 0x3E;  // also the unit's request prefix
inline constexpr std::uint8_t kUnitAddress = 0xCA;
inline constexpr std::uint8_t kSensorFactoryAddress = 0x01;  // a sensor alone on the line
inline constexpr std::uint8_t kPollAddress = 0xFF;           // every sensor on the bus

namespace code {

// The sensor's commands.
inline constexpr std::uint8_t kReadings = 0xF0;
inline constexpr std::uint8_t kVersion = 0xFC;  // version and serial number
inline constexpr std::uint8_t kSetMode = 0xF2;
inline constexpr std::uint8_t kCalibrateEmpty = 0xFA;
inline constexpr std::uint8_t kCalibrateFull = 0xF5;
inline constexpr std::uint8_t kSetAddress = 0xFB;
inline constexpr std::uint8_t kShiftFull = 0xF4;
inline constexpr std::uint8_t kShiftEmpty = 0xF9;
inline constexpr std::uint8_t kChangePassword = 0xF7;
inline constexpr std::uint8_t kEnterPassword = 0xF8;
inline constexpr std::uint8_t kWrongPassword = 0xFD;  // an answer only
inline constexpr std::uint8_t kPasswordNote = 0x06;   // an answer only
inline constexpr std::uint8_t kEngineRunning = 0xE3;
inline constexpr std::uint8_t kEngineStopped = 0xE5;
inline constexpr std::uint8_t kHorizon = 0xAA;

// Both devices: the serial number.
inline constexpr std::uint8_t kSetSerial = 0xA4;

// The unit's requests.
inline constexpr std::uint8_t kLiveData = 0xA0;
inline constexpr std::uint8_t kControl = 0xA1;  // an answer only
inline constexpr std::uint8_t kConfigRead = 0xA2;
inline constexpr std::uint8_t kConfigWrite = 0xA3;
inline constexpr std::uint8_t kCommandA5 = 0xA5;
inline constexpr std::uint8_t kSetBp = 0xA6;
inline constexpr std::uint8_t kImei = 0xA7;  // IMEI and SIM number
inline constexpr std::uint8_t kModemLog = 0xE8;

}  // namespace code

// Lengths of whole frames, the check byte included unless said.
inline constexpr std::size_t kShortestFrame = 4;       // prefix, address, code, check byte
inline constexpr std::size_t kReadingsAnswerMin = 21;  // the readings answer without its mode byte
inline constexpr std::size_t kConfigAnswerSize = 171;  // the record to position 171, no check byte
inline constexpr std::size_t kConfigAnswerFrame = kConfigAnswerSize + 1;
inline constexpr std::size_t kConfigFrameSize = 169;  // the configuration write
inline constexpr std::size_t kImeiAnswerFrame = 40;
inline constexpr std::size_t kLiveAnswerMin = 16;  // the inputs, the least a live answer carries

// The configuration write: the record's format after the code, and the fixed bytes after the
// record (positions count from 1, the prefix at position 1).
inline constexpr std::uint8_t kConfigFormatByte = 0x16;
inline constexpr std::array<std::uint8_t, 3> kConfigWriteTail = {0xA5, 0x36, 0x5B};
inline constexpr std::size_t kConfigWriteTailPosition = 166;

}  // namespace velkon
