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
    m_.set_text(ctl::MsgCom, std::string(kCommandNotSent));
    notice_ticks_ = kNoticeTicks;
    return false;
}

void Outbox::hold_notice() {
    if (notice_ticks_ == 0) return;
    --notice_ticks_;
    m_.set_text(ctl::MsgCom, std::string(kCommandNotSent));
}

}  // namespace velkon
