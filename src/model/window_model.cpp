#include "model/window_model.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace velkon {

namespace {

// A tag read as a number; a tag that is not one belongs to no group.
std::optional<long> tag_number(const std::string& tag) {
    long value = 0;
    const char* end = tag.data() + tag.size();
    const auto [ptr, ec] = std::from_chars(tag.data(), end, value);
    if (ec != std::errc() || ptr != end || tag.empty()) return std::nullopt;
    return value;
}

}  // namespace

WindowModel::WindowModel() : WindowModel(frmSerial_controls()) {}

WindowModel::WindowModel(std::vector<Control> controls) : controls_(std::move(controls)) {
    for (int i = 0; i < static_cast<int>(controls_.size()); ++i) by_name_[controls_[i].name] = i;
}

std::optional<int> WindowModel::find(std::string_view name) const {
    const auto it = by_name_.find(std::string(name));
    if (it == by_name_.end()) return std::nullopt;
    return it->second;
}

int WindowModel::index_of(ControlName name) const {
    const auto index = find(name.text());
    if (!index) {
        std::fprintf(stderr, "window model: no control named '%.*s'\n",
                     static_cast<int>(name.text().size()), name.text().data());
        std::abort();
    }
    return *index;
}

void WindowModel::changed(int index) {
    if (listener_) listener_(index);
}

#define VELKON_SET_FIELD(field, value)    \
    do {                                  \
        const int index = index_of(name); \
        Control& c = controls_[index];    \
        if (c.field == (value)) return;   \
        c.field = (value);                \
        changed(index);                   \
    } while (false)

void WindowModel::set_text(ControlName name, std::string text) {
    VELKON_SET_FIELD(text, text);
}
void WindowModel::set_tooltip(ControlName name, std::string text) {
    VELKON_SET_FIELD(tooltip, text);
}
void WindowModel::set_tag(ControlName name, std::string tag) {
    VELKON_SET_FIELD(tag, tag);
}
void WindowModel::set_enabled(ControlName name, bool enabled) {
    VELKON_SET_FIELD(enabled, enabled);
}
void WindowModel::set_visible(ControlName name, bool visible) {
    VELKON_SET_FIELD(visible, visible);
}
void WindowModel::set_value(ControlName name, int value) {
    VELKON_SET_FIELD(value, value);
}
void WindowModel::set_maximum(ControlName name, int maximum) {
    VELKON_SET_FIELD(maximum, maximum);
}
void WindowModel::set_color(ControlName name, std::uint32_t color) {
    VELKON_SET_FIELD(color, color);
}
void WindowModel::set_selected(ControlName name, int selected) {
    VELKON_SET_FIELD(selected, selected);
}
void WindowModel::set_items(ControlName name, std::vector<std::string> items) {
    VELKON_SET_FIELD(items, items);
}

#undef VELKON_SET_FIELD

void WindowModel::set_checked(ControlName name, bool checked) {
    const int index = index_of(name);
    Control& c = controls_[index];
    if (c.kind == ControlKind::OptionButton && checked) {
        for (int i = 0; i < static_cast<int>(controls_.size()); ++i) {
            Control& other = controls_[i];
            if (i != index && other.kind == ControlKind::OptionButton && other.parent == c.parent &&
                other.checked) {
                other.checked = false;
                changed(i);
            }
        }
    }
    if (c.checked == checked) return;
    c.checked = checked;
    changed(index);
}

void WindowModel::clear_items(ControlName name) {
    const int index = index_of(name);
    Control& c = controls_[index];
    if (c.items.empty() && c.selected == -1) return;
    c.items.clear();
    c.selected = -1;
    changed(index);
}

void WindowModel::add_item(ControlName name, std::string item) {
    const int index = index_of(name);
    controls_[index].items.push_back(std::move(item));
    changed(index);
}

std::optional<std::string> WindowModel::selected_item(ControlName name) const {
    const Control& c = (*this)[name];
    if (c.selected < 0 || c.selected >= static_cast<int>(c.items.size())) return std::nullopt;
    return c.items[c.selected];
}

template <typename Pred, typename Op>
void WindowModel::for_tags(Pred pred, Op op) {
    for (int i = 0; i < static_cast<int>(controls_.size()); ++i) {
        Control& c = controls_[i];
        if (c.kind == ControlKind::Timer) continue;
        const auto tag = tag_number(c.tag);
        if (!tag || !pred(*tag)) continue;
        const bool before = c.enabled;
        op(c);
        if (c.enabled != before) changed(i);
    }
}

void WindowModel::toggle_tags_8_to_129() {
    for_tags([](long t) { return t > 7 && t < 130; }, [](Control& c) { c.enabled = !c.enabled; });
}
void WindowModel::disable_tags_above_7() {
    for_tags([](long t) { return t > 7; }, [](Control& c) { c.enabled = false; });
}
void WindowModel::enable_tag_130() {
    for_tags([](long t) { return t == 130; }, [](Control& c) { c.enabled = true; });
}
void WindowModel::enable_tag_131() {
    for_tags([](long t) { return t == 131; }, [](Control& c) { c.enabled = true; });
}
void WindowModel::enable_tags_135_to_162() {
    for_tags([](long t) { return t > 134 && t < 163; }, [](Control& c) { c.enabled = true; });
}
void WindowModel::enable_tag_163() {
    for_tags([](long t) { return t == 163; }, [](Control& c) { c.enabled = true; });
}

void WindowModel::tag_untagged(const std::string& tag) {
    for (int i = 0; i < static_cast<int>(controls_.size()); ++i) {
        if (controls_[i].tag.empty()) {
            controls_[i].tag = tag;
            changed(i);
        }
    }
}

}  // namespace velkon
