// The values table of `fleet write --values`, as spreadsheets save it, and every way it is
// refused before a port is opened.
#include "cli/values_table.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "support/test_support.h"

namespace velkon {
namespace {

using cli::ValuesKey;

bool known_key(const std::string& key) {
    static const std::set<std::string> keys = {"device_id", "apn", "period", "channels[3].address"};
    return keys.contains(key);
}

struct Row {
    std::size_t line;
    std::string key;
    std::vector<std::string> values;
    bool operator==(const Row&) const = default;
};

void PrintTo(const Row& r, std::ostream* os) {
    *os << r.line << " " << r.key;
    for (const auto& v : r.values) *os << " [" << v << "]";
}

struct Good {
    const char* name;
    std::string content;
    ValuesKey key;
    std::vector<std::string> columns;
    std::vector<Row> rows;
};

TEST(ValuesTable, ReadsWhatSpreadsheetsSave) {
    const Good cases[] = {
        {"excel_utf8_bom_semicolons_crlf",
         "\xEF\xBB\xBFimei;device_id;period\r\n356938035640001;0000000001;60\r\n"
         "356938035640002;0000000002;120\r\n",
         ValuesKey::Imei,
         {"device_id", "period"},
         {{2, "356938035640001", {"0000000001", "60"}},
          {3, "356938035640002", {"0000000002", "120"}}}},
        // The separator is the header's: ';' in a quoted cell of a ',' table is text.
        {"commas_quotes_doubled_no_last_newline",
         "serial,apn,device_id\n100500,\"inter,net;x\",\"a\"\"b\"",
         ValuesKey::Serial,
         {"apn", "device_id"},
         {{2, "100500", {"inter,net;x", "a\"b"}}}},
        // A line break inside a quoted cell: the next row's line is still the file's.
        {"line_break_in_a_cell",
         "port;apn\n\"ttyUSB0\";\"a\nb\"\nttyUSB1;c\n",
         ValuesKey::Port,
         {"apn"},
         {{2, "ttyUSB0", {"a\nb"}}, {4, "ttyUSB1", {"c"}}}},
        // Empty lines and rows of empty cells are no rows; an empty cell is a value not given.
        {"blank_rows_and_empty_cells",
         "IMEI;device_id;channels[3].address\n\n1;;7\n;;\n\n",
         ValuesKey::Imei,
         {"device_id", "channels[3].address"},
         {{3, "1", {"", "7"}}}},
        // An identifier as velkon-cli's reports write it, and blanks around a key.
        {"key_as_text_formula",
         "imei;device_id\n =\"356938035640001\" ; x \n",
         ValuesKey::Imei,
         {"device_id"},
         {{2, "356938035640001", {" x "}}}},
        {"old_mac_line_ends",
         "imei;apn\r1;a\r2;b",
         ValuesKey::Imei,
         {"apn"},
         {{2, "1", {"a"}}, {3, "2", {"b"}}}},
    };
    for (const Good& c : cases) {
        SCOPED_TRACE(c.name);
        const cli::ValuesLoad loaded = cli::parse_values_table(c.content, known_key);
        ASSERT_TRUE(loaded) << loaded.error;
        EXPECT_EQ(loaded.table->key, c.key);
        EXPECT_EQ(loaded.table->columns, c.columns);
        std::vector<Row> rows;
        for (const auto& r : loaded.table->rows) rows.push_back({r.line, r.key, r.values});
        EXPECT_EQ(rows, c.rows);
    }
}

TEST(ValuesTable, RefusesATableThatCouldGoToTheWrongUnit) {
    const struct {
        const char* name;
        std::string content;
        std::string said;
    } cases[] = {
        {"empty", "", "строка 1: таблица пуста"},
        {"no_key_column", "device_id;apn\nx;y\n", "строка 1: нет столбца imei, serial или port"},
        {"two_key_columns", "imei;port;apn\n1;ttyUSB0;x\n", "строка 1: столбцы «imei» и «port»"},
        {"unknown_key", "imei;colour\n1;red\n", "строка 1: неизвестный ключ профиля «colour»"},
        {"channel_out_of_range", "imei;channels[8].address\n1;7\n",
         "неизвестный ключ профиля «channels[8].address»"},
        {"column_twice", "imei;apn;apn\n1;a;b\n", "строка 1: столбец «apn» назван дважды"},
        {"unnamed_column", "imei;;apn\n1;a;b\n", "строка 1: у столбца 2 нет имени"},
        {"one_key_two_rows", "imei;apn\n1;a\n2;b\n1;c\n",
         "строка 4: значение «1» столбца «imei» уже есть в строке 2"},
        {"too_many_cells", "imei;apn\n1;a;b\n", "строка 2: ячеек 3, а в строке заголовка 2"},
        {"too_few_cells", "imei;apn;period\n1;a\n", "строка 2: ячеек 2, а в строке заголовка 3"},
        {"empty_key_cell", "imei;apn\n;a\n", "строка 2: пустая ячейка в столбце «imei»"},
        {"unclosed_quote", "imei;apn\n1;a\n2;\"b\n3;c\n", "строка 3: кавычка"},
        {"text_after_quote", "imei;apn\n1;\"a\"b\n", "строка 2: после закрывающей кавычки"},
        {"number_cut_short", "imei;apn\n3,56938E+14;a\n", "строка 2: «3,56938E+14» — число"},
        {"windows_code_page", "imei;apn\n1;a\n2;\xE8\xED\xF2\n",
         "строка 3: текст не в кодировке UTF-8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const cli::ValuesLoad loaded = cli::parse_values_table(c.content, known_key);
        EXPECT_FALSE(loaded);
        EXPECT_NE(loaded.error.find(c.said), std::string::npos) << loaded.error;
    }
}

// A file's refusal names the file as well as the line.
TEST(ValuesTable, AFileIsNamedWithItsLine) {
    test::TempDir folder;
    const auto file = folder.path() / "значения.csv";
    std::ofstream(file) << "imei;apn\n1;a\n1;b\n";
    const cli::ValuesLoad loaded = cli::load_values_table(file, known_key);
    EXPECT_NE(loaded.error.find("Таблица значений «" + file.string() + "», строка 3:"),
              std::string::npos)
        << loaded.error;
    const cli::ValuesLoad missing = cli::load_values_table(folder.path() / "нет.csv", known_key);
    EXPECT_NE(missing.error.find("Не удалось прочитать таблицу значений"), std::string::npos)
        << missing.error;
}

}  // namespace
}  // namespace velkon
