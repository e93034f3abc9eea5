// Cuts the byte stream coming from the configurator into request frames.
//
// A request is recognised by its prefix, its code (which fixes its length) and its check byte;
// bytes that cannot begin such a frame are passed on as rejects, one run at a time, and the
// search goes on at the next byte, so garbage on the line costs no real request. A candidate that
// is still incomplete when the line falls quiet (see PtyServer's request gap) is given up by
// flush(), which searches what it held once more for frames hidden behind a false start.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velkon::sim {

class RequestFramer {
  public:
    struct Piece {
        std::string bytes;
        bool frame;  // a complete request frame; false: bytes that are no request
        bool operator==(const Piece&) const = default;
    };

    // Takes newly received bytes; returns the complete frames and rejected runs, in order.
    std::vector<Piece> feed(std::string_view bytes);
    // The line went quiet: nothing held can be completed any more.
    std::vector<Piece> flush();
    // True while bytes of an incomplete candidate are held.
    bool holding() const { return !buffer_.empty(); }

  private:
    void scan(std::vector<Piece>& out, std::string& rejected);

    std::string buffer_;
};

}  // namespace velkon::sim
