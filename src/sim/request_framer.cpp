#include "sim/request_framer.h"

#include "protocol/frame.h"
#include "sim/device.h"

namespace velkon::sim {

namespace {

void push_rejected(std::vector<RequestFramer::Piece>& out, std::string& rejected) {
    if (rejected.empty()) return;
    out.push_back({std::move(rejected), false});
    rejected.clear();
}

}  // namespace

void RequestFramer::scan(std::vector<Piece>& out, std::string& rejected) {
    const std::string_view held(buffer_);
    std::size_t at = 0;
    while (at < held.size()) {
        const auto probe = request_length(held.substr(at));
        if (probe.probe == FrameProbe::NeedMore) break;
        if (probe.probe == FrameProbe::Length) {
            if (held.size() - at < probe.length) break;
            const auto candidate = held.substr(at, probe.length);
            if (check_byte(candidate) == 0) {
                push_rejected(out, rejected);
                out.push_back({std::string(candidate), true});
                at += probe.length;
                continue;
            }
        }
        rejected.push_back(held[at]);
        ++at;
    }
    buffer_.erase(0, at);
}

std::vector<RequestFramer::Piece> RequestFramer::feed(std::string_view bytes) {
    buffer_.append(bytes);
    std::vector<Piece> out;
    std::string rejected;
    scan(out, rejected);
    push_rejected(out, rejected);
    return out;
}

std::vector<RequestFramer::Piece> RequestFramer::flush() {
    std::vector<Piece> out;
    std::string rejected;
    while (!buffer_.empty()) {
        rejected.push_back(buffer_.front());
        buffer_.erase(0, 1);
        scan(out, rejected);
    }
    push_rejected(out, rejected);
    return out;
}

}  // namespace velkon::sim
