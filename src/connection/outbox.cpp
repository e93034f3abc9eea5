#include "connection/outbox.h"

#include "protocol/monitor.h"

namespace velkon {

void Outbox::echo(const Frame& frame) {
    m_.set_text(ctl::txtRec, request_echo(frame));
}

void Outbox::put_and_echo(Frame frame) {
    put(std::move(frame));
    echo(m_.vars.wrs);
}

bool Outbox::still_on(std::uint64_t link) {
    if (link == link_.load()) return true;
    notice_since_ = clock_.monotonic();
    show_notice();
    return false;
}

bool Outbox::hold_notice() {
    if (notice_since_ && clock_.monotonic() - *notice_since_ >= kNoticeTime) notice_since_.reset();
    if (!notice_since_) return false;
    show_notice();
    return true;
}

void Outbox::show_notice() {
    m_.set_text(ctl::MsgCom, std::string(kCommandNotSent));
    // A scan hint's explanation does not explain the notice.
    m_.set_tooltip(ctl::MsgCom, "");
}

}  // namespace velkon
