#include "connection/outbox.h"

#include "protocol/monitor.h"

namespace velkon {

void Outbox::echo(const Frame& frame) {
    m_.set_text("txtRec", request_echo(frame));
}

void Outbox::put_and_echo(Frame frame) {
    put(std::move(frame));
    echo(m_.vars.wrs);
}

}  // namespace velkon
