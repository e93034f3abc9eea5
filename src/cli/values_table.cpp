#include "cli/values_table.h"

#include <algorithm>
#include <map>

#include "files/file_error.h"
#include "files/file_read.h"
#include "protocol/cp1251.h"

namespace velkon::cli {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::size_t kTableSizeLimit = 16 * 1024 * 1024;

struct KeyColumn {
    std::string_view name;
    ValuesKey key;
};
constexpr KeyColumn kKeyColumns[] = {
    {"imei", ValuesKey::Imei},
    {"serial", ValuesKey::Serial},
    {"port", ValuesKey::Port},
};

std::string in_guillemets(std::string_view text) {
    return "«" + std::string(text) + "»";
}

std::string at_line(std::size_t line, const std::string& cause) {
    return "строка " + std::to_string(line) + ": " + cause;
}

std::string trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return std::string(text);
}

std::string ascii_lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool digits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "3,56938E+14": what a spreadsheet saves of a long number in a column of the General format.
// The digits are lost, so the row can pick no unit.
bool exponent_form(std::string_view text) {
    const std::size_t e = text.find_first_of("Ee");
    if (e == std::string_view::npos) return false;
    std::string_view mantissa = text.substr(0, e), power = text.substr(e + 1);
    if (!power.empty() && (power[0] == '+' || power[0] == '-')) power.remove_prefix(1);
    const std::size_t point = mantissa.find_first_of(".,");
    if (point != std::string_view::npos) {
        if (!digits(mantissa.substr(point + 1))) return false;
        mantissa = mantissa.substr(0, point);
    }
    return digits(mantissa) && digits(power);
}

// The key cell as a unit's name: blanks around it dropped, and the ="…" form velkon-cli's own
// reports give identifiers (so a spreadsheet keeps their digits) taken as its text.
std::string key_text(const std::string& cell) {
    std::string text = trimmed(cell);
    if (text.size() >= 3 && text.starts_with("=\"") && text.ends_with('"')) {
        text = text.substr(2, text.size() - 3);
    }
    return text;
}

}  // namespace

CsvText split_csv(std::string_view text) {
    if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
    std::size_t semicolons = 0, commas = 0;
    bool quoted = false;
    for (const char c : text) {
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == '\r' || c == '\n') break;
        semicolons += c == ';';
        commas += c == ',';
    }
    const char separator = commas > semicolons ? ',' : ';';
    const auto line_end = [](char c) { return c == '\r' || c == '\n'; };

    CsvText out;
    std::size_t line = 1;
    std::size_t i = 0;
    while (i < text.size()) {
        CsvRecord record{line, {}};
        for (;;) {
            std::string cell;
            if (text[i] == '"') {
                const std::size_t opened = line;
                ++i;
                for (;;) {
                    if (i >= text.size()) {
                        out.error = at_line(opened, "кавычка, открытая в ячейке, не закрыта.");
                        return out;
                    }
                    const char c = text[i++];
                    if (c == '"') {
                        if (i < text.size() && text[i] == '"') {
                            cell += '"';
                            ++i;
                            continue;
                        }
                        break;
                    }
                    if (c == '\n') ++line;
                    cell += c;
                }
                if (i < text.size() && text[i] != separator && !line_end(text[i])) {
                    out.error = at_line(line,
                                        "после закрывающей кавычки идёт текст; кавычка внутри "
                                        "ячейки пишется дважды (\"\").");
                    return out;
                }
            } else {
                while (i < text.size() && text[i] != separator && !line_end(text[i])) {
                    cell += text[i++];
                }
            }
            record.cells.push_back(std::move(cell));
            if (i < text.size() && text[i] == separator) {
                ++i;
                continue;
            }
            if (i < text.size() && text[i] == '\r') ++i;
            if (i < text.size() && text[i] == '\n') ++i;
            ++line;
            break;
        }
        out.records.push_back(std::move(record));
    }
    return out;
}

const ValuesRow* ValuesTable::row_for(std::string_view key_cell) const {
    for (const ValuesRow& row : rows) {
        if (row.key == key_cell) return &row;
    }
    return nullptr;
}

std::string_view values_key_words(ValuesKey key) {
    switch (key) {
        case ValuesKey::Imei:
            return "IMEI";
        case ValuesKey::Serial:
            return "серийным номером";
        case ValuesKey::Port:
            return "портом";
    }
    return "";
}

ValuesLoad parse_values_table(std::string_view content,
                              const std::function<bool(const std::string&)>& known_key) {
    ValuesLoad out;
    // Excel's plain «CSV» is saved in the Windows code page.
    std::size_t line = 1;
    for (std::size_t at = 0; at < content.size(); ++line) {
        const std::size_t end = std::min(content.find('\n', at), content.size());
        if (!utf8_well_formed(content.substr(at, end - at))) {
            out.error = at_line(line,
                                "текст не в кодировке UTF-8; сохраните таблицу как «CSV UTF-8» "
                                "(в LibreOffice — кодировка «Юникод (UTF-8)»).");
            return out;
        }
        at = end + 1;
    }
    CsvText csv = split_csv(content);
    if (!csv.error.empty()) {
        out.error = csv.error;
        return out;
    }
    const auto blank = [](const CsvRecord& r) {
        return std::all_of(r.cells.begin(), r.cells.end(),
                           [](const std::string& c) { return trimmed(c).empty(); });
    };
    std::erase_if(csv.records, blank);
    if (csv.records.empty()) {
        out.error = at_line(1, "таблица пуста, нет даже строки заголовка.");
        return out;
    }

    const CsvRecord& header = csv.records.front();
    ValuesTable table;
    std::optional<std::size_t> key_at;
    std::vector<std::size_t> value_at;  // the cells of the profile keys
    std::map<std::string, std::size_t> seen;
    for (std::size_t c = 0; c < header.cells.size(); ++c) {
        const std::string name = trimmed(header.cells[c]);
        const auto key_column =
            std::find_if(std::begin(kKeyColumns), std::end(kKeyColumns),
                         [&](const KeyColumn& k) { return k.name == ascii_lower(name); });
        if (name.empty()) {
            out.error = at_line(header.line, "у столбца " + std::to_string(c + 1) + " нет имени.");
            return out;
        }
        if (const auto earlier = seen.find(ascii_lower(name)); earlier != seen.end()) {
            out.error =
                at_line(header.line, "столбец " + in_guillemets(name) + " назван дважды (столбцы " +
                                         std::to_string(earlier->second + 1) + " и " +
                                         std::to_string(c + 1) + ").");
            return out;
        }
        seen.emplace(ascii_lower(name), c);
        if (key_column != std::end(kKeyColumns)) {
            if (key_at) {
                out.error = at_line(header.line, "столбцы " + in_guillemets(table.key_column) +
                                                     " и " + in_guillemets(name) +
                                                     ": строку трекера выбирает один столбец — "
                                                     "imei, serial или port.");
                return out;
            }
            key_at = c;
            table.key = key_column->key;
            table.key_column = name;
        } else if (!known_key(name)) {
            out.error = at_line(header.line, "неизвестный ключ профиля " + in_guillemets(name) +
                                                 " (ключи — как у --set: device_id, "
                                                 "server_port, channels[3].address).");
            return out;
        } else {
            table.columns.push_back(name);
            value_at.push_back(c);
        }
    }
    if (!key_at) {
        out.error = at_line(header.line,
                            "нет столбца imei, serial или port: по нему выбирается строка "
                            "трекера.");
        return out;
    }

    std::map<std::string, std::size_t> lines;  // key cell → its row's line
    for (std::size_t r = 1; r < csv.records.size(); ++r) {
        const CsvRecord& record = csv.records[r];
        if (record.cells.size() != header.cells.size()) {
            out.error = at_line(record.line, "ячеек " + std::to_string(record.cells.size()) +
                                                 ", а в строке заголовка " +
                                                 std::to_string(header.cells.size()) + ".");
            return out;
        }
        ValuesRow row{record.line,
                      table.key == ValuesKey::Port ? trimmed(record.cells[*key_at])
                                                   : key_text(record.cells[*key_at]),
                      {}};
        if (row.key.empty()) {
            out.error =
                at_line(record.line, "пустая ячейка в столбце " + in_guillemets(table.key_column) +
                                         ": строку нельзя отнести ни к одному трекеру.");
            return out;
        }
        if (table.key != ValuesKey::Port && exponent_form(row.key)) {
            out.error = at_line(record.line,
                                in_guillemets(row.key) +
                                    " — число, сокращённое таблицей, его цифры потеряны; задайте "
                                    "столбцу " +
                                    in_guillemets(table.key_column) +
                                    " текстовый формат и введите значения заново.");
            return out;
        }
        if (const auto earlier = lines.find(row.key); earlier != lines.end()) {
            out.error =
                at_line(record.line, "значение " + in_guillemets(row.key) + " столбца " +
                                         in_guillemets(table.key_column) + " уже есть в строке " +
                                         std::to_string(earlier->second) + ".");
            return out;
        }
        lines.emplace(row.key, row.line);
        for (const std::size_t c : value_at) row.values.push_back(record.cells[c]);
        table.rows.push_back(std::move(row));
    }
    out.table = std::move(table);
    return out;
}

ValuesLoad load_values_table(const std::filesystem::path& path,
                             const std::function<bool(const std::string&)>& known_key) {
    const std::string name = in_guillemets(path_text(path));
    std::string content;
    if (std::string reason = read_file_bounded(path, kTableSizeLimit, content); !reason.empty()) {
        return {std::nullopt,
                "Не удалось прочитать таблицу значений " + name + ": " + reason + "."};
    }
    ValuesLoad loaded = parse_values_table(content, known_key);
    if (!loaded) loaded.error = "Таблица значений " + name + ", " + loaded.error;
    return loaded;
}

}  // namespace velkon::cli
