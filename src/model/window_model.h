// The window model: the one store of every control of the window and of the form variables.
//
// The handlers read and write controls by name through this class only; a front end renders
// each control and is told of every change through the change listener, so what the logic
// writes appears at once. Unknown control names are programming errors (they abort).
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/control_names.h"

namespace velkon {

enum class ControlKind {
    Label,
    TextBox,
    Button,
    CheckBox,
    OptionButton,  // option buttons with the same parent form one group
    ComboBox,
    Frame,
    TabControl,   // `items` are the page captions, `value` the selected page
    ProgressBar,  // vertical; `value` and `maximum`
    Shape,        // the round lamp; `color` is its fill
    Timer,        // `enabled` says whether it runs; `interval_ms`
};

// What a front end reports about a control; the handlers' event table says what each does.
enum class ControlEvent {
    Click,   // a button pressed
    Change,  // the user changed the text of a text box or of a combo box's edit part
    Timer,   // a timer's interval passed
};
inline constexpr int kControlEventCount = 3;

struct Font {
    double points = 8.25;
    bool bold = false;
};

// Positions and sizes in twips (15 per pixel), relative to the parent; for a child of the tab
// control, relative to the tab control.
struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

constexpr std::uint32_t kDefaultColor = 0xFFFFFFFF;    // "the toolkit's default"
constexpr std::uint32_t kHighlightColor = 0xFFFFFFFE;  // the system highlight colour

struct Control {
    std::string name;
    ControlKind kind = ControlKind::Label;
    std::string parent;  // "" for the window itself, a frame's name, or "SSTab1"
    int page = -1;       // the page of SSTab1 the control lies on, -1 when on none
    Rect rect;
    bool placed = false;  // the position above is the window's own; else the front end lays it out
    std::string text;     // caption or text (UTF-8)
    std::string tooltip;
    std::string tag;
    bool enabled = true;
    bool visible = true;
    bool checked = false;
    std::vector<std::string> items;
    int selected = -1;
    int value = 0;
    int maximum = 0;
    std::uint32_t color = kDefaultColor;  // 0x00BBGGRR: lamp fill, frame caption colour
    Font font;
    int interval_ms = 0;
    bool editable = false;  // a combo box with an edit part (else a drop-down list)
    int max_bytes = 0;      // text boxes whose text travels in a fixed-width field: its width
    bool multiline = false;
    int tab_order = -1;  // position in the keyboard order, -1 when the control takes no focus
    // What assistive technology calls a control whose caption is a separate label (the check
    // boxes and option buttons): the label's text, or what the box stands for. "" otherwise.
    std::string accessible_name;
};

// The form variables shared by the handlers.
struct FormVars {
    std::string wrs;  // the pending request frame, one char per byte
    bool no_data = false;
    std::string last_msg;
    std::uint8_t last_addr = 0;
    int last_tab = 0;
    bool mode_yes = false;
    int Ur_progressBar = 0;
    std::filesystem::path day_file;  // empty until start-up has set it
    // Readings answers whose level was shown: a level that has stopped coming (noise, a device
    // at another speed) stays on the page, and what follows the sensor can tell.
    std::uint64_t levels_shown = 0;
};

// The window's controls as designed.
std::vector<Control> frmSerial_controls();

inline constexpr std::string_view kWindowTitle = "Конфигуратор Velkon";
inline constexpr int kClientWidthTwips = 9600;
inline constexpr int kClientHeightTwips = 5700;

class WindowModel {
  public:
    using Listener = std::function<void(int index)>;

    WindowModel();
    explicit WindowModel(std::vector<Control> controls);

    FormVars vars;

    const std::vector<Control>& controls() const { return controls_; }
    std::optional<int> find(std::string_view name) const;
    int index_of(ControlName name) const;  // aborts on an unknown name
    const Control& operator[](ControlName name) const { return controls_[index_of(name)]; }
    const Control& at(int index) const { return controls_[index]; }
    // The name of the control at `index`, for a front end that walks the controls by place.
    ControlName name_at(int index) const { return ControlName(controls_[index].name); }

    // Called after every change of a control (not for a write of the same value).
    void set_listener(Listener listener) { listener_ = std::move(listener); }

    const std::string& text(ControlName name) const { return (*this)[name].text; }
    bool checked(ControlName name) const { return (*this)[name].checked; }
    bool enabled(ControlName name) const { return (*this)[name].enabled; }
    bool visible(ControlName name) const { return (*this)[name].visible; }
    int selected(ControlName name) const { return (*this)[name].selected; }
    int value(ControlName name) const { return (*this)[name].value; }

    void set_text(ControlName name, std::string text);
    void set_tooltip(ControlName name, std::string text);
    void set_tag(ControlName name, std::string tag);
    void set_enabled(ControlName name, bool enabled);
    void set_visible(ControlName name, bool visible);
    // Setting an option button clears the other option buttons of its group.
    void set_checked(ControlName name, bool checked);
    void set_value(ControlName name, int value);
    void set_maximum(ControlName name, int maximum);
    void set_color(ControlName name, std::uint32_t color);

    // Combo boxes.
    const std::vector<std::string>& items(ControlName name) const { return (*this)[name].items; }
    void clear_items(ControlName name);
    void add_item(ControlName name, std::string item);
    void set_items(ControlName name, std::vector<std::string> items);
    void set_selected(ControlName name, int index);
    // The text of the selected entry, or nothing when none is selected.
    std::optional<std::string> selected_item(ControlName name) const;

    // The selected page of the tab control.
    int tab() const { return value(ctl::SSTab1); }
    void set_tab(int page) { set_value(ctl::SSTab1, page); }

    bool timer_enabled(ControlName name) const { return enabled(name); }
    void set_timer_enabled(ControlName name, bool on) { set_enabled(name, on); }

    // Group operations on the enabled state, by tag compared as a number; named for the tags
    // they touch (the window's own names in brackets, for a search).
    void toggle_tags_8_to_129();    // inverted (`SwitchTags`: the link's groups)
    void disable_tags_above_7();    // disabled (`CloseAllTags`)
    void enable_tag_130();          // enabled (`swtag130`)
    void enable_tag_131();          // enabled (`swtag131`)
    void enable_tags_135_to_162();  // enabled (`swtag134`: 134 itself is not among them)
    void enable_tag_163();          // enabled (`swtag163`)

    // Every control whose tag is empty gets `tag`.
    void tag_untagged(const std::string& tag);

  private:
    Control& edit(ControlName name) { return controls_[index_of(name)]; }
    void changed(int index);
    template <typename Pred, typename Op>
    void for_tags(Pred pred, Op op);

    std::vector<Control> controls_;
    std::unordered_map<std::string, int> by_name_;
    Listener listener_;
};

}  // namespace velkon
