// The session on disk: the session file and the CSV read back to the same table, damaged or
// foreign files are refused with a reason, and a save is whole or not at all.
#include "calibration/session_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "support/test_support.h"

namespace velkon::calibration {
namespace {

namespace fs = std::filesystem;

Session sample_session() {
    SessionInfo info;
    info.started = "10.12.2026 09:15:30";
    info.serial = "4242";
    info.portion = 12.5;
    info.tank_volume = 200;
    info.start_volume = 3.25;
    info.full_scale = 4096;
    info.rule = {7.5, 1.5};
    info.imei = "866795030012345";
    info.vehicle = "КамАЗ А123ВС, левый бак";
    info.installer = "Петров";
    Session s(info);
    s.add({15.75, 101.5});
    s.add({28.25, 230});
    s.add({40.75, 228.3});  // falls: kept as it is, only marked
    return s;
}

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(SessionFile, RoundTripKeepsEverything) {
    const Session s = sample_session();
    const Loaded back = parse_saved(session_text(s));
    ASSERT_TRUE(back.session) << back.error;
    EXPECT_EQ(*back.session, s);
}

TEST(SessionFile, CsvUsesTheLocaleSeparatorAndReadsBack) {
    const Session s = sample_session();
    for (const char decimal : {',', '.'}) {
        const std::string csv = csv_text(s, decimal);
        EXPECT_EQ(csv.substr(0, 3), "\xEF\xBB\xBF");
        EXPECT_NE(csv.find("Датчик;4242\r\n"), std::string::npos);
        EXPECT_NE(csv.find(std::string("Порция, л;12") + decimal + "5\r\n"), std::string::npos);
        EXPECT_NE(csv.find("Объём, л;Уровень;Проверка\r\n"), std::string::npos);
        EXPECT_NE(csv.find(std::string("15") + decimal + "75;101" + decimal + "5;"),
                  std::string::npos)
            << csv;
        const Loaded back = parse_saved(csv);
        ASSERT_TRUE(back.session) << back.error;
        EXPECT_EQ(back.session->points(), s.points());
        EXPECT_EQ(back.session->info().serial, "4242");
        EXPECT_EQ(back.session->info().started, s.info().started);
        EXPECT_DOUBLE_EQ(back.session->info().portion, 12.5);
    }
}

TEST(SessionFile, AHandMadeCsvWithoutHeaderLinesLoads) {
    const Loaded back = parse_saved("Объём, л;Уровень\n0;10\n20;110,5\n40;230\n");
    ASSERT_TRUE(back.session) << back.error;
    EXPECT_EQ(back.session->points().size(), 3u);
    EXPECT_DOUBLE_EQ(back.session->info().portion, 20);
}

struct BadFile {
    std::string name;
    std::string text;
    std::string says;  // a piece of the message
};

void PrintTo(const BadFile& c, std::ostream* os) {
    *os << c.name;
}

class BadFiles : public ::testing::TestWithParam<BadFile> {};

TEST_P(BadFiles, AreRefusedWithAReason) {
    const Loaded back = parse_saved(GetParam().text);
    EXPECT_FALSE(back.session);
    EXPECT_NE(back.error.find(GetParam().says), std::string::npos) << back.error;
}

const std::string kGood = "velkon-tarirovka 1\nportion=10\npoint=10;100\n";

INSTANTIATE_TEST_SUITE_P(
    Table, BadFiles,
    ::testing::Values(
        BadFile{"empty", "", "не похож"},
        BadFile{"binary", std::string("\x89PNG\r\n\x1a\n\0\0", 10), "двоичные"},
        BadFile{"cp1251_text", "\xCE\xE1\xFA\xB8\xEC;\xD3\xF0\xEE\xE2\xE5\xED\xFC\n", "UTF-8"},
        BadFile{"foreign_text", "name;value\nfoo;1\n", "не похож"},
        BadFile{"cut_short", kGood, "обрывается"},
        BadFile{"unknown_key", kGood + "colour=red\nend\n", "неизвестное поле"},
        BadFile{"bad_point", "velkon-tarirovka 1\nportion=10\npoint=10;abc\nend\n", "неверное"},
        BadFile{"negative_level", "velkon-tarirovka 1\nportion=10\npoint=10;-5\nend\n", "неверное"},
        BadFile{"no_portion", "velkon-tarirovka 1\npoint=10;5\nend\n", "порция"},
        BadFile{"zero_portion", "velkon-tarirovka 1\nportion=0\nend\n", "Порция"},
        BadFile{"after_end", kGood + "end\npoint=20;200\n", "после конца"},
        BadFile{"csv_bad_point", "Объём, л;Уровень\n10;100\n20;\n", "неверная точка"},
        BadFile{"csv_three_fields", "Объём, л;Уровень\n10;100;7\n", "неверная точка"},
        BadFile{"csv_unknown_line", "Что-то;1\nОбъём, л;Уровень\n10;100\n", "непонятная"},
        // Beyond what an int holds: refused, not converted.
        BadFile{"huge_scale", kGood + "scale=1e10\nend\n", "Шкала"},
        // Malformed UTF-8 the window could not show: an overlong "/", a lone surrogate.
        BadFile{"overlong_utf8", kGood + "vehicle=\xC0\xAF\nend\n", "UTF-8"},
        BadFile{"surrogate_utf8", kGood + "notes=\xED\xA0\x80\nend\n", "UTF-8"}),
    [](const auto& info) { return info.param.name; });

TEST(SessionFile, LoadingAFileThatIsNotThereOrTooBigSaysSo) {
    test::TempDir dir;
    EXPECT_NE(load_file(dir.path() / "нет.tarirovka").error.find("Не удалось открыть"),
              std::string::npos);
    const fs::path big = dir.path() / "big.csv";
    std::ofstream(big) << std::string(5 * 1024 * 1024, 'x');
    EXPECT_NE(load_file(big).error.find("слишком велик"), std::string::npos);
}

TEST(SessionFile, WholeWriteReplacesTheFileAndLeavesNoTemporaryBehind) {
    test::TempDir dir;
    const fs::path target = dir.path() / "tarirovka" / "a.tarirovka";
    ASSERT_FALSE(write_whole(target, "first"));
    ASSERT_FALSE(write_whole(target, "second"));
    EXPECT_EQ(read_all(target), "second");
    EXPECT_EQ(std::distance(fs::directory_iterator(target.parent_path()), {}), 1);
}

TEST(SessionFile, AFailedWriteSaysWhyAndKeepsTheEarlierFile) {
    test::TempDir dir;
    const fs::path target = dir.path() / "a.tarirovka";
    ASSERT_FALSE(write_whole(target, "kept"));
    // A folder in the file's place cannot be replaced by a file.
    const auto folder_error = write_whole(dir.path(), "x");
    ASSERT_TRUE(folder_error);
    EXPECT_NE(folder_error->find("Не удалось сохранить"), std::string::npos);
    if (::geteuid() != 0) {
        fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
        const auto error = write_whole(target, "lost");
        fs::permissions(dir.path(), fs::perms::owner_all);
        ASSERT_TRUE(error);
        EXPECT_NE(error->find("нет прав на запись"), std::string::npos) << *error;
    }
    EXPECT_EQ(read_all(target), "kept");
}

TEST(SessionFile, NamesCarryDateTimeAndSerialAndNeverReuseAFile) {
    test::TempDir dir;
    const fs::path first = new_session_path(dir.path(), "10.12.2026 09:15:30", "4242");
    EXPECT_EQ(first, dir.path() / "tarirovka" / "2026-12-10_09-15-30_4242.tarirovka");
    EXPECT_EQ(new_session_path(dir.path(), "10.12.2026 09:15:30", "").filename(),
              "2026-12-10_09-15-30.tarirovka");
    ASSERT_FALSE(write_whole(first, "x"));
    EXPECT_EQ(new_session_path(dir.path(), "10.12.2026 09:15:30", "4242").filename(),
              "2026-12-10_09-15-30_4242_2.tarirovka");
    // A serial that is not a plain number never reaches the file name.
    EXPECT_EQ(new_session_path(dir.path(), "10.12.2026 09:15:30", "../x").filename(),
              "2026-12-10_09-15-30.tarirovka");
}

// Tables as people exchange them: another program's header or none, the columns in either
// order, any of the three separators, either decimal separator.
TEST(SessionFile, ForeignCsvTablesLoad) {
    const std::vector<Point> expected{{0, 12}, {20, 131.5}, {40, 250}};
    struct Case {
        const char* name;
        std::string text;
    };
    const Case cases[] = {
        {"no header, semicolons", "0;12\n20;131,5\n40;250\n"},
        {"no header, tabs, points", "0\t12\n20\t131.5\n40\t250\n"},
        {"no header, commas", "0,12\n20,131.5\n40,250\n"},
        {"level first", "Уровень;Объём, л\n12;0\n131,5;20\n250;40\n"},
        {"commas with a unit", "Объём, л,Уровень\n0,12\n20,131.5\n40,250\n"},
        {"tabs, comma decimals, CRLF", "Литры\tуровень\r\n0\t12\r\n20\t131,5\r\n40\t250\r\n"},
        {"quoted, blanks", "\"Level\";\"Volume\"\n 12 ; 0 \n\"131,5\";20\n250;40\n"},
        // Spreadsheets' exports: names and numbers in quotes around a ",", the empty rows and
        // columns beyond the table, line ends of an old Mac or of a file converted twice.
        {"commas in quotes",
         "\"Объём, л\",\"Уровень\"\r\n\"0\",\"12\"\r\n20,\"131,5\"\r\n40,250\r\n"},
        {"empty rows and columns",
         ";;;\r\nОбъём, л;Уровень;;\r\n0;12;;\r\n20;131,5;;\r\n40;250;;\r\n;;;\r\n"},
        {"CR line ends", "Level;Volume\r12;0\r131.5;20\r250;40\r"},
        {"CR CR LF line ends", "0;12\r\r\n20;131,5\r\r\n40;250\r\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Loaded back = parse_saved(c.text);
        ASSERT_TRUE(back.session) << back.error;
        EXPECT_EQ(back.session->points(), expected);
        EXPECT_EQ(back.session->info().portion, 20);
    }
    // With "," between fields a "," in a number cannot be told from a separator.
    EXPECT_FALSE(parse_saved("0,12\n20,131,5\n").session);
    EXPECT_FALSE(parse_saved("слово;ещё\n").session);
}

// Our own export keeps the tank, the sensor, the unit and whose tank it is, and its marks column.
TEST(SessionFile, CsvKeepsTheSetUpAndMarks) {
    const Session s = sample_session();
    const std::string csv = csv_text(s, ',');
    EXPECT_NE(csv.find("40,75;228,3;уровень упал\r\n"), std::string::npos) << csv;
    const Loaded back = parse_saved(csv);
    ASSERT_TRUE(back.session) << back.error;
    const SessionInfo& i = back.session->info();
    EXPECT_EQ(i.tank_volume, 200.0);
    EXPECT_EQ(i.start_volume, 3.25);
    EXPECT_EQ(i.serial, "4242");
    EXPECT_EQ(i.imei, "866795030012345");
    EXPECT_EQ(i.vehicle, "КамАЗ А123ВС, левый бак");
    EXPECT_EQ(i.installer, "Петров");
}

// A table read from a file and written again is the same table: in the session file the window
// keeps, and in the CSV (what it carries of the set-up).
TEST(SessionFile, WhatIsReadIsWrittenBackUnchanged) {
    SessionInfo info = sample_session().info();
    info.start_volume = 0;  // the empty tank, not "unknown"
    info.vehicle = "КамАЗ; бак\t«левый»";
    info.installer = " Петров \"Сервис\" ";
    info.serial = "42;42";
    info.notes = "трапеция; 2 отсека";
    Session s(info);
    s.add({20, 2230.25});  // a level corrected by hand
    s.add({40, 3995.5});

    const Loaded saved = parse_saved(session_text(s));
    ASSERT_TRUE(saved.session) << saved.error;
    EXPECT_EQ(*saved.session, s);
    for (const char decimal : {',', '.'}) {
        const Loaded csv = parse_saved(csv_text(s, decimal));
        ASSERT_TRUE(csv.session) << csv.error;
        const SessionInfo& i = csv.session->info();
        EXPECT_EQ(csv.session->points(), s.points());
        EXPECT_EQ(i.start_volume, 0);
        EXPECT_EQ(i.full_scale, 4096);
        EXPECT_EQ(i.vehicle, info.vehicle);
        EXPECT_EQ(i.installer, info.installer);
        EXPECT_EQ(i.serial, info.serial);
    }
    // A line end inside a field would break a line of the file: it becomes a blank.
    s.info().vehicle = "КамАЗ\r\nбак";
    EXPECT_EQ(parse_saved(session_text(s)).session->info().vehicle, "КамАЗ  бак");
}

// Numbers are kept to the three decimals the files are written with, so what loads is what the
// next save writes; a line end within a value (CR CR LF) leaves no CR in it.
TEST(SessionFile, ReadNumbersAndTextsAreTheOnesWrittenBack) {
    const Loaded session = parse_saved(
        "velkon-tarirovka 1\r\r\nserial=4242\r\r\nportion=12.00049\r\r\n"
        "point=10.12345;100.98765\r\r\nend\r\r\n");
    ASSERT_TRUE(session.session) << session.error;
    EXPECT_EQ(session.session->info().serial, "4242");
    EXPECT_EQ(session.session->info().portion, 12);
    EXPECT_EQ(session.session->points(), (std::vector<Point>{{10.123, 100.988}}));
    EXPECT_EQ(*parse_saved(session_text(*session.session)).session, *session.session);

    // The step between the first two points is the portion, as the file will say it.
    const Loaded table = parse_saved("0.1;5\n0.3;6\n");
    ASSERT_TRUE(table.session) << table.error;
    EXPECT_EQ(table.session->info().portion, 0.2);
}

// A table that does not name its sensor's scale gets the narrowest that holds its levels, so a
// table of the 4096 range is not marked at the top of the 1024 one.
TEST(SessionFile, ATableWithoutAScaleGetsOneThatHoldsItsLevels) {
    struct Case {
        std::string text;
        int scale;
    };
    const Case cases[] = {
        {"0;12\n20;1000\n", 1024},
        {"0;12\n20;1100\n40;3995,5\n", 4096},
        {"0;12\n20;40000\n", 65536},
        {"Шкала датчика;0…4095\n0;12\n20;500\n", 4096},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const Loaded back = parse_saved(c.text);
        ASSERT_TRUE(back.session) << back.error;
        EXPECT_EQ(back.session->info().full_scale, c.scale);
        for (const PointCheck& check : back.session->checks()) EXPECT_EQ(check.marks, 0u);
    }
    EXPECT_NE(parse_saved("Шкала датчика;0…99999\n0;12\n").error.find("шкала"), std::string::npos);
}

}  // namespace
}  // namespace velkon::calibration
