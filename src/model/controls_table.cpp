// Every control of the window as designed: kind, parent, place, caption or text, tool tip,
// tag, font, colour and the initial states. Positions marked given() are the window's own; the
// others are our layout inside their frame.
#include <charconv>
#include <unordered_map>

#include "model/window_model.h"

namespace velkon {

namespace {

using K = ControlKind;

// Builds one row of the table.
class Row {
  public:
    Row(K kind, std::string name, std::string parent, std::string text, std::string tag) {
        c_.kind = kind;
        c_.name = std::move(name);
        c_.parent = std::move(parent);
        c_.text = std::move(text);
        c_.tag = std::move(tag);
    }
    Row& at(int left, int top, int width, int height) {
        c_.rect = {left, top, width, height};
        return *this;
    }
    Row& given() {  // the position (and size, where set) is the window's own
        c_.placed = true;
        return *this;
    }
    Row& page(int p) {
        c_.parent = "SSTab1";
        c_.page = p;
        return *this;
    }
    Row& tip(std::string t) {
        c_.tooltip = std::move(t);
        return *this;
    }
    Row& hidden() {
        c_.visible = false;
        return *this;
    }
    Row& font(double points, bool bold = true) {
        c_.font = {points, bold};
        return *this;
    }
    Row& bold() { return font(8.25, true); }
    Row& color(std::uint32_t bgr) {
        c_.color = bgr;
        return *this;
    }
    Row& checked() {
        c_.checked = true;
        return *this;
    }
    Row& bytes(int n) {
        c_.max_bytes = n;
        return *this;
    }
    Row& editable() {
        c_.editable = true;
        return *this;
    }
    Row& multiline() {
        c_.multiline = true;
        return *this;
    }
    Row& items(std::vector<std::string> list, int selected) {
        c_.items = std::move(list);
        c_.selected = selected;
        return *this;
    }
    Row& range(int value, int maximum) {
        c_.value = value;
        c_.maximum = maximum;
        return *this;
    }
    Row& interval(int ms) {
        c_.interval_ms = ms;
        return *this;
    }
    operator Control() const { return c_; }

  private:
    Control c_;
};

Row label(std::string n, std::string p, std::string t, std::string tag = "") {
    return Row(K::Label, std::move(n), std::move(p), std::move(t), std::move(tag));
}
Row text_box(std::string n, std::string p, std::string t, std::string tag = "") {
    return Row(K::TextBox, std::move(n), std::move(p), std::move(t), std::move(tag));
}
Row button(std::string n, std::string p, std::string t, std::string tag = "") {
    return Row(K::Button, std::move(n), std::move(p), std::move(t), std::move(tag));
}
Row check_box(std::string n, std::string p, std::string tag = "", std::string t = "") {
    return Row(K::CheckBox, std::move(n), std::move(p), std::move(t), std::move(tag));
}
Row option(std::string n, std::string p, std::string tag = "") {
    return Row(K::OptionButton, std::move(n), std::move(p), "", std::move(tag));
}
Row frame(std::string n, std::string p, std::string t, std::string tag = "") {
    return Row(K::Frame, std::move(n), std::move(p), std::move(t), std::move(tag));
}
Row combo(std::string n, std::string p, std::string t, std::string tag = "") {
    return Row(K::ComboBox, std::move(n), std::move(p), std::move(t), std::move(tag));
}

// Frame caption colours, 0x00BBGGRR.
constexpr std::uint32_t kDarkBlue = 0xC00000;  // (0, 0, 192)
constexpr std::uint32_t kNavy = 0x800000;      // (0, 0, 128)
constexpr std::uint32_t kGreen = 0x008000;     // (0, 128, 0)
constexpr std::uint32_t kYellow = 0x00FFFF;    // (255, 255, 0)

// A label and its value label in one row of a frame.
void pair_row(std::vector<Control>& out, const std::string& parent, int top, const char* lname,
              const char* ltext, const char* vname, const char* vtext, const std::string& tag,
              int label_width, int value_left, int value_width, Font value_font = {}) {
    out.push_back(label(lname, parent, ltext, tag).at(90, top, label_width, 255));
    Row value = label(vname, parent, vtext, tag).at(value_left, top, value_width, 255);
    if (value_font.bold) value.font(value_font.points);
    out.push_back(value);
}

void add_window_controls(std::vector<Control>& v) {
    v.push_back(
        frame("Frame2", "", "Связь", "2").at(240, 360, 1755, 2175).given().color(kDarkBlue));
    v.push_back(combo("CmbPort", "Frame2", "COM1:", "7").at(120, 300, 1515, 315));
    v.push_back(button("BTNOpenCom", "Frame2", "Открыть порт", "2").at(120, 780, 1515, 495));
    v.push_back(button("BTNCloseCom", "Frame2", "Закрыть порт", "9").at(120, 1440, 1515, 495));
    v.push_back(button("Chg_pass", "", "Изменить пароль", "9")
                    .at(1080, 3720, 1215, 495)
                    .given()
                    .tip("Ведение пароля на изменение конфигурации"));
    v.push_back(button("Vvod_PWD", "", "Ввести пароль", "9")
                    .at(1080, 4440, 1215, 495)
                    .given()
                    .tip("Ввести пароль на одну команду"));
    v.push_back(label("Label31", "", "Сер. N", "8").at(360, 2760, 960, 255).given());
    v.push_back(label("sern", "", "------------", "8").at(1320, 2760, 975, 255).given().bold());
    v.push_back(label("Label32", "", "Версия ПО", "8").at(360, 3120, 960, 255).given());
    v.push_back(label("vPo", "", "------------", "8").at(1320, 3120, 975, 255).given().bold());
    v.push_back(Row(K::Shape, "Pic", "", "", "2").at(240, 3600, 675, 495).given().color(kYellow));
    v.push_back(label("MsgCom", "", "", "8").at(240, 5040, 4215, 495).given().font(13.5));
    // Beside the status line, so it shows on every page and is not overwritten by answers.
    v.push_back(label("changed_mark", "", "Изменения не записаны в трекер", "")
                    .at(4560, 5160, 4935, 255)
                    .bold()
                    .hidden());
    v.push_back(Row(K::TabControl, "SSTab1", "", "", "9")
                    .at(2400, 120, 7095, 4815)
                    .given()
                    .items({"Датчик", "Трекер", "Сервер"}, -1)
                    .range(0, 2));
    v.push_back(Row(K::Timer, "Timer1", "", "", "").interval(100));
    v.push_back(Row(K::Timer, "TMRComm", "", "", "").interval(500));
}

void add_sensor_page(std::vector<Control>& v) {
    v.push_back(Row(K::ProgressBar, "ProgressBar1", "", "", "")
                    .page(0)
                    .at(240, 600, 375, 3975)
                    .given()
                    .range(0, 1024));
    const Font big{9.75, true};
    v.push_back(frame("Frame5", "", "Текущие параметры", "9")
                    .page(0)
                    .at(960, 480, 2535, 1095)
                    .given()
                    .color(kHighlightColor));
    pair_row(v, "Frame5", 270, "ur", "Уровень", "uroven", "нет данных", "9", 900, 1080, 1380, big);
    pair_row(v, "Frame5", 540, "te", "Темп-ра", "temp", "нет данных", "9", 900, 1080, 1380, big);
    pair_row(v, "Frame5", 810, "tek_l", "Текущий", "tek", "нет данных", "9", 900, 1080, 1380, big);
    v.push_back(frame("Frame4", "", "Установки", "9")
                    .page(0)
                    .at(960, 1800, 2535, 1095)
                    .given()
                    .color(kHighlightColor));
    pair_row(v, "Frame4", 270, "h", "Полный", "hi", "нет данных", "9", 1305, 1425, 1050);
    pair_row(v, "Frame4", 540, "l", "Пустой", "lo", "нет данных", "9", 1305, 1425, 1050);
    pair_row(v, "Frame4", 810, "n", "Сетевой адрес", "ne", "нет данных", "9", 1305, 1425, 1050);
    v.push_back(label("ko", "Frame4", "0", "9").at(2200, 810, 300, 255).hidden());
    v.push_back(label("k", "Frame4", "K", "").at(2000, 810, 150, 255).hidden());
    v.push_back(frame("Frame15", "", "Режимы", "9").page(0).at(840, 3120, 4095, 1335).given());
    v.push_back(check_box("usredn", "Frame15", "9").at(180, 330, 255, 255));
    v.push_back(label("usred", "Frame15", "Сглаживание", "9").at(480, 330, 1800, 255));
    v.push_back(check_box("D_4096", "Frame15", "163").at(180, 720, 255, 255));
    v.push_back(label("Label6", "Frame15", "Диапазон 4096", "163").at(480, 720, 1800, 255));
    v.push_back(button("Set_mode", "Frame15", "&Установить", "9")
                    .at(2520, 420, 1395, 495)
                    .tip("Установка режима"));
    v.push_back(frame("Frame3", "", "Команды", "9")
                    .page(0)
                    .at(4200, 3480, 2655, 975)
                    .given()
                    .color(kHighlightColor)
                    .hidden());
    v.push_back(
        button("net", "Frame3", "Изменить &сетевой адрес", "9").at(120, 300, 2415, 495).hidden());
    v.push_back(button("hig", "", "Установить полный", "9")
                    .page(0)
                    .at(3840, 840, 1095, 615)
                    .given()
                    .tip("Калибровка датчика"));
    v.push_back(button("low", "", "Установить пустой", "9")
                    .page(0)
                    .at(3840, 2160, 1095, 615)
                    .given()
                    .tip("Калибровка датчика"));
    v.push_back(button("bp_off", "", "Двигатель ЗАГЛУШЕН", "9")
                    .page(0)
                    .at(5640, 600, 1095, 615)
                    .given()
                    .tip("Калибровка зажигания"));
    v.push_back(button("bp_on", "", "Двигатель ЗАВЕДЕН", "9")
                    .page(0)
                    .at(5640, 1440, 1095, 615)
                    .given()
                    .tip("Калибровка зажигания"));
    v.push_back(button("gorizont", "", "Горизонт", "9").page(0).at(5640, 2520, 1095, 615).given());
    v.push_back(
        combo("CmbNet", "", "0", "9").page(0).at(4320, 600, 1095, 315).given().hidden().editable());

    // Tank calibration: opens its own window over this one, under «Горизонт».
    v.push_back(button("tarirovka", "", "Тарировка…", "9")
                    .page(0)
                    .at(5460, 3480, 1275, 615)
                    .tip("Тарировка бака по показаниям датчика"));
}

void add_tracker_page(std::vector<Control>& v) {
    v.push_back(
        frame("Frame14", "", "Состояние", "2").page(1).at(480, 840, 2295, 2175).given().bold());
    const struct {
        const char *lname, *ltext, *vname;
    } state[] = {{"Label39", "Спутников", "sputn"},
                 {"Label41", "С/Ш", "ns"},
                 {"Label40", "gsm", "gsm"},
                 {"traff1", "Трафик", "traf"},
                 {"Label35", "Пит", "ain3"}};
    int top = 360;
    for (const auto& s : state) {
        const bool big = std::string(s.vname) == "sputn";
        pair_row(v, "Frame14", top, s.lname, s.ltext, s.vname, "0", "8", 1100, 1320, 855,
                 big ? Font{9.75, true} : Font{});
        top += 360;
    }
    v.push_back(frame("Frame13", "", "Настройки RS-485", "8")
                    .page(1)
                    .at(4080, 600, 2655, 3615)
                    .given()
                    .bold());
    v.push_back(label("Label28", "Frame13", "Вкл", "8").at(150, 300, 420, 255));
    v.push_back(label("Label29", "Frame13", "Адрес", "8").at(600, 300, 600, 255));
    v.push_back(label("Label46", "Frame13", "Данные", "8").at(1920, 300, 700, 255));
    for (int n = 1; n <= 8; ++n) {
        const std::string k = std::to_string(n);
        const int row_top = 600 + (n - 1) * 360;
        v.push_back(check_box("Check" + k, "Frame13", "8").at(240, row_top, 255, 255).given());
        Row ad = text_box("ad" + k, "Frame13", k, "8").at(600, row_top - 30, 495, 315).given();
        if (n == 8) ad.tip("xbckj");
        v.push_back(ad);
        v.push_back(label("Label" + std::to_string(19 + n), "Frame13", k + " канал", "8")
                        .at(1200, row_top, 700, 255)
                        .given());
        v.push_back(
            label("lls" + k, "Frame13", "0", "8").at(1920, row_top, 615, 255).given().bold());
    }
    v.push_back(label("Label13", "", "Период отправки  доп. параметров, сек", "8")
                    .page(1)
                    .at(360, 3360, 2175, 375)
                    .given()
                    .bold());
    v.push_back(text_box("time_otpr", "", "60", "8")
                    .page(1)
                    .at(2640, 3360, 615, 405)
                    .given()
                    .tip("от 15 до 1000 сек"));
    v.push_back(button("Command3", "", "Установить", "").page(1).at(2400, 4200, 1215, 495).given());
}

void add_server_page(std::vector<Control>& v) {
    v.push_back(frame("Frame9", "", "Настройки GSM", "8")
                    .page(2)
                    .at(600, 360, 4815, 1695)
                    .given()
                    .bold()
                    .color(kNavy));
    const struct {
        const char *lname, *ltext, *tname, *ttext;
        int bytes;
    } gsm[] = {{"Label7", "Точка доступа", "apn", "m2m.operator.ru", 30},
               {"Label8", "Пользователь", "gsm_user", "operator", 20},
               {"Label9", "Пароль", "gdm_pwd", "operator", 20},
               {"Label12", "Пин код SIM", "pincod", "0", 5}};
    int top = 330;
    for (const auto& f : gsm) {
        v.push_back(label(f.lname, "Frame9", f.ltext, "8").at(120, top, 2655, 255));
        v.push_back(
            text_box(f.tname, "Frame9", f.ttext, "8").at(2820, top - 30, 1875, 315).bytes(f.bytes));
        top += 330;
    }
    v.push_back(frame("Frame10", "", "Настройки сервера", "8")
                    .page(2)
                    .at(600, 2160, 4815, 1815)
                    .given()
                    .bold()
                    .color(kGreen));
    const struct {
        const char *lname, *ltext, *tname, *ttext;
        int bytes;
    } server[] = {{"Label10", "Адрес", "ip_serv", "192.0.2.10", 25},
                  {"l4", "Порт", "port_serv", "20332", 6},
                  {"Label30", "Идентификатор устройства", "id_dev", "0", 10},
                  {"Label11", "Пароль доступа к устройству", "pwd_serv", "не трогай", 25}};
    top = 300;
    for (const auto& f : server) {
        v.push_back(label(f.lname, "Frame10", f.ltext, "8").at(120, top, 2655, 255));
        Row box =
            text_box(f.tname, "Frame10", f.ttext, "8").at(2820, top - 30, 1875, 300).bytes(f.bytes);
        if (std::string(f.tname) == "pwd_serv") box.tip("Не более 20 символов");
        v.push_back(box);
        top += 300;
    }
    v.push_back(check_box("EGTS_prot", "Frame10", "8").at(2820, top, 255, 255));
    v.push_back(label("Label42", "Frame10", "Протокол ЕГТС", "8").at(120, top, 2655, 255));
    v.push_back(label("Label43", "", "SIM", "8").page(2).at(1740, 4140, 495, 255).bold());
    v.push_back(label("nsim", "", "NOT READ", "8").page(2).at(2280, 4140, 3195, 255).bold());
    v.push_back(label("lable44", "", "IMEI", "8").page(2).at(1740, 4440, 495, 255).bold());
    v.push_back(label("imei", "", "NOT READ", "8").page(2).at(2280, 4440, 3195, 255).bold());
    v.push_back(button("readdata", "", "Читать", "8").page(2).at(5760, 720, 975, 615).given());
    v.push_back(button("setdata", "", "Установить", "8").page(2).at(5640, 1560, 1215, 615).given());
    v.push_back(button("rd_imei", "", "Читать SIM", "8").page(2).at(480, 4200, 1095, 495).given());

    // Profiles: in the free space under «Установить»; they need no link, so they carry no tag
    // of the link's groups.
    v.push_back(
        button("save_prof", "", "Сохранить профиль…", "").page(2).at(5640, 2520, 1215, 615));
    v.push_back(
        button("load_prof", "", "Загрузить профиль…", "").page(2).at(5640, 3240, 1215, 615));
}

// The controls the window keeps out of sight; they store values and carry handlers.
void add_hidden_controls(std::vector<Control>& v) {
    v.push_back(button("Opros", "", "Опрос сети", "9").at(9700, 0, 1215, 375).bold().hidden());
    v.push_back(label("Label3", "", "Устройства в сети:", "9").at(9700, 400, 1500, 255).hidden());
    v.push_back(
        label("netdev", "", "Устройства не определены", "9").at(9700, 700, 2000, 255).hidden());
    v.push_back(label("Label4", "", "Сетевой Адрес", "9").at(9700, 1000, 1500, 255).hidden());
    v.push_back(frame("Frame1", "", "Commands and Results", "")
                    .at(240, 6000, 5835, 2415)
                    .given()
                    .color(kDarkBlue)
                    .hidden());
    v.push_back(label("Label1", "Frame1", "Text Returned:", "").at(120, 240, 1500, 255));
    v.push_back(text_box("txtRec", "Frame1", "", "9").at(120, 540, 5595, 1755).multiline());
    v.push_back(
        text_box("strText", "", "Text5", "").at(9700, 1300, 3000, 1000).multiline().hidden());
    v.push_back(
        text_box("text_GSM", "", "Text1", "").at(9700, 2400, 3000, 1000).multiline().hidden());
    v.push_back(text_box("gen_txt", "", "", "").at(9700, 3500, 3000, 315).bold().hidden());

    v.push_back(frame("Frame8", "", "Команды сдвига", "")
                    .at(13440, 4200, 3015, 1695)
                    .given()
                    .color(kHighlightColor)
                    .hidden());
    const struct {
        const char *frame, *caption, *box, *apply, *gen;
        int left;
    } shifts[] = {{"Frame6", "Полный", "sdv_verh", "sdv_hi", "gen_up", 120},
                  {"Frame7", "Пустой", "sdv_niz", "sdv_low", "gen_down", 1560}};
    for (const auto& s : shifts) {
        v.push_back(frame(s.frame, "Frame8", s.caption, "").at(s.left, 240, 1335, 1335).bold());
        v.push_back(text_box(s.box, s.frame, "0", "").at(120, 300, 1095, 315));
        v.push_back(button(s.apply, s.frame, "Сдвиг", "163").at(120, 660, 1095, 300));
        v.push_back(button(s.gen, s.frame, "сгенерировать", "").at(120, 990, 1095, 300));
    }

    v.push_back(frame("modes", "", "Режимы", "9").at(9000, 7200, 2655, 2055).given().hidden());
    const struct {
        const char *option, *caption_name, *caption, *tag;
    } modes[] = {{"R485", "R_485", "Режим RS-485", "9"},
                 {"R_a", "R_analog", "Аналоговый Режим", "130"},
                 {"R_f", "R_fr", "Частотный режим", "130"},
                 {"R_p", "цццц", "Периодический", "131"},
                 {"R_p485", "Label2", "Периодический RS485", "163"}};
    int top = 270;
    for (const auto& m : modes) {
        Row opt = option(m.option, "modes", m.tag).at(120, top, 255, 255);
        if (std::string(m.option) == "R485") opt.checked();
        v.push_back(opt);
        v.push_back(label(m.caption_name, "modes", m.caption, m.tag).at(420, top, 2100, 255));
        top += 300;
    }
    v.push_back(check_box("iinv", "modes", "9").at(120, top, 255, 255));
    v.push_back(label("invers", "modes", "Инверсия индикатора", "9").at(420, top, 2100, 255));

    const char* input_captions[] = {"СК", "Частотный", "Аналоговый"};
    for (int in = 1; in <= 2; ++in) {
        const std::string fname = "Frame1" + std::to_string(in);
        v.push_back(frame(fname, "", "Режим " + std::to_string(in) + " входа", "8")
                        .at(9700 + (in - 1) * 1800, 4600, 1695, 1215)
                        .bold()
                        .hidden());
        for (int mode = 1; mode <= 3; ++mode) {
            const std::string oname = "r" + std::to_string(in) + std::to_string(mode);
            Row opt = option(oname, fname, "8").at(120, 270 + (mode - 1) * 300, 255, 255);
            if (mode == 1) opt.checked();
            v.push_back(opt);
            v.push_back(label("Label" + std::to_string(13 + (in - 1) * 3 + mode), fname,
                              input_captions[mode - 1], "8")
                            .at(420, 270 + (mode - 1) * 300, 1200, 255));
        }
    }

    const struct {
        const char *name, *text;
        int top;
    } inputs[] = {{"Label33", "Вх_1", 0},      {"in1", "0", 0},
                  {"Label34", "Bx2", 300},     {"in2", "0", 300},
                  {"Label37", "Аналог", 600},  {"ain1", "0", 600},
                  {"ain2", "0", 900},          {"Label38", "частота", 1200},
                  {"fin1", "0", 1200},         {"fin2", "0", 1500},
                  {"Label36", "сост вх", 1800}};
    for (const auto& l : inputs) {
        const bool caption = l.name[0] == 'L';
        v.push_back(
            label(l.name, "", l.text, "").at(caption ? 12900 : 14100, l.top, 1100, 255).hidden());
    }

    v.push_back(label("sn", "", "0", "9").at(9700, 6000, 1500, 315).font(12).hidden());
    v.push_back(
        label("Label5", "", "Сер. Номер", "9").at(9700, 6400, 1500, 255).font(9.75).hidden());
    v.push_back(
        label("vv", "", "-------------------", "9").at(9700, 6700, 1800, 255).font(9.75).hidden());
    v.push_back(label("ver2", "", "Версия ПО", "9").at(9700, 7000, 1500, 255).hidden());
    v.push_back(button("InstSN", "", "&Serial num", "9").at(11400, 6000, 1215, 375).hidden());
    v.push_back(
        button("next_ser_num", "", "&Next serial num", "9").at(11400, 6400, 1215, 375).hidden());
    v.push_back(button("sl3", "", "sl-zapis", "").at(11400, 6800, 1215, 375).hidden());
    v.push_back(text_box("bp1", "", "1198", "8").at(12700, 6000, 1095, 315).hidden());
    v.push_back(button("Set_BP", "", "Set_BP", "8").at(12700, 6400, 1095, 375).hidden());
    v.push_back(button("Command1", "", "Command1", "").at(14000, 6000, 1095, 375).hidden());
    v.push_back(button("Command2", "", "Command2", "").at(14000, 6400, 1095, 375).hidden());
    v.push_back(button("gsmlog", "", "gsmlog", "").at(14000, 6800, 1095, 375).hidden());
    v.push_back(button("ZapFile", "", "Записать CFG", "").at(15200, 6000, 1215, 375).hidden());
    v.push_back(check_box("Faail", "", "", "Файл").at(15200, 6400, 1215, 255).hidden());
    v.push_back(button("cfg_file", "", "Файл", "8").at(14640, 3120, 1095, 375).given());
}

// The keyboard order of the controls that take focus.
constexpr const char* kTabOrder[] = {
    "BTNOpenCom", "BTNCloseCom", "CmbPort",   "Vvod_PWD",  "Chg_pass", "SSTab1",    "pincod",
    "gdm_pwd",    "gsm_user",    "apn",       "id_dev",    "pwd_serv", "port_serv", "ip_serv",
    "ad8",        "ad7",         "ad6",       "ad5",       "Check8",   "Check7",    "Check6",
    "Check5",     "ad4",         "Check4",    "ad3",       "Check3",   "ad2",       "Check2",
    "ad1",        "Check1",      "time_otpr", "readdata",  "setdata",  "rd_imei",   "Command3",
    "usredn",     "D_4096",      "Set_mode",  "hig",       "low",      "bp_off",    "bp_on",
    "EGTS_prot",  "gorizont",    "save_prof", "load_prof", "tarirovka"};

bool starts_disabled(const Control& c) {
    if (c.kind == ControlKind::Timer) return true;
    int tag = 0;
    const auto [ptr, ec] = std::from_chars(c.tag.data(), c.tag.data() + c.tag.size(), tag);
    return ec == std::errc() && tag > 7;
}

}  // namespace

// The window draws the caption of every check box and option button as a label beside it; a
// screen reader would otherwise call the box by its frame's title («Режимы») or nothing.
void name_captionless_boxes(std::vector<Control>& v) {
    static const struct {
        const char *box, *label;
    } kBesideLabel[] = {
        {"usredn", "usred"}, {"D_4096", "Label6"}, {"EGTS_prot", "Label42"}, {"R485", "R_485"},
        {"R_a", "R_analog"}, {"R_f", "R_fr"},      {"R_p", "цццц"},          {"R_p485", "Label2"},
        {"iinv", "invers"},  {"r11", "Label14"},   {"r12", "Label15"},       {"r13", "Label16"},
        {"r21", "Label17"},  {"r22", "Label18"},   {"r23", "Label19"},
    };
    std::unordered_map<std::string, Control*> by_name;
    for (auto& c : v) by_name[c.name] = &c;
    for (const auto& b : kBesideLabel)
        by_name.at(b.box)->accessible_name = by_name.at(b.label)->text;
    // The channel rows' labels say "3 канал"; the box stands for the channel itself.
    for (int n = 1; n <= 8; ++n) {
        by_name.at("Check" + std::to_string(n))->accessible_name = "Канал " + std::to_string(n);
    }
}

std::vector<Control> frmSerial_controls() {
    std::vector<Control> v;
    v.reserve(240);
    add_window_controls(v);
    add_sensor_page(v);
    add_tracker_page(v);
    add_server_page(v);
    add_hidden_controls(v);

    // Controls inside a frame lie on that frame's page.
    std::unordered_map<std::string, const Control*> by_name;
    for (const auto& c : v) by_name[c.name] = &c;
    for (auto& c : v) {
        const Control* p = &c;
        while (p->page < 0 && !p->parent.empty() && by_name.count(p->parent))
            p = by_name[p->parent];
        c.page = p->page;
        c.enabled = !starts_disabled(c);
    }
    name_captionless_boxes(v);
    int order = 0;
    for (const char* name : kTabOrder) {
        for (auto& c : v) {
            if (c.name == name) c.tab_order = order++;
        }
    }
    return v;
}

}  // namespace velkon
