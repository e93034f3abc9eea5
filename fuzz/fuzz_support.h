// What every fuzz target shares: a check that stops the run with a readable reason, a UTF-8
// validator, the check that every text the window shows is valid UTF-8, and quiet seams for the
// subsystems that take them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/window_model.h"
#include "seams/seams.h"

namespace velkon::fuzz {

// A broken invariant is a finding: libFuzzer keeps the input that caused the abort.
inline void require(bool holds, const char* what, std::string_view detail = {}) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s %.*s\n", what, static_cast<int>(detail.size()),
                 detail.data());
    std::abort();
}

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no surrogates, nothing above
// U+10FFFF.
inline bool valid_utf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        char32_t cp = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            cp = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            cp = lead & 0x07;
        } else {
            return false;
        }
        if (text.size() - i <= extra) return false;  // cut short
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

// Every caption, text, tooltip and list entry of the window is valid UTF-8 (a front end would
// show anything else as garbage or drop it).
inline void require_window_texts_valid(const WindowModel& model) {
    for (const Control& c : model.controls()) {
        require(valid_utf8(c.text), "text of", c.name);
        require(valid_utf8(c.tooltip), "tooltip of", c.name);
        for (const std::string& item : c.items) require(valid_utf8(item), "list entry of", c.name);
    }
}

// A window as designed. Building the controls table compares many names, which coverage
// instrumentation makes slow, so it is built once and copied for every input.
inline WindowModel fresh_window() {
    static const WindowModel designed;
    return designed;
}

// A program folder that cannot exist: a path that writes a file fails instead of littering.
inline constexpr const char* kNoFolder = "/nonexistent/velkon-fuzz";

// Boxes that nobody sees: messages are counted, questions answered No, input boxes cancelled.
class QuietDialogs : public Dialogs {
  public:
    int messages = 0;
    std::string last_message;
    void message(const std::string& text, Icon, const std::string&) override {
        ++messages;
        last_message = text;
    }
    bool yes_no(const std::string&) override { return false; }
    std::string input(const std::string&, const std::string&, const std::string&) override {
        return {};
    }
};

}  // namespace velkon::fuzz
