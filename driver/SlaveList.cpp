#include "driver/SlaveList.h"

#include <algorithm>
#include <charconv>

namespace {

// The whole item is the number: no sign, no blanks inside, nothing after it.
bool ParseAddress(std::string_view t, uint32_t& v) {
    int base = 10;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        t.remove_prefix(2);
    }
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v, base);
    return r.ec == std::errc() && r.ptr == t.data() + t.size() && v >= kFirstSlaveAddress &&
           v <= kLastSlaveAddress;
}

} // namespace

bool ParseSlaveList(std::string_view text, std::vector<uint8_t>& out, SSlaveListError& err) {
    out.clear();
    err = {};
    for (size_t at = 0; at <= text.size();) {
        const size_t sep = std::min(text.find_first_of(",;", at), text.size());
        std::string_view item = text.substr(at, sep - at);
        at = sep + 1;
        const size_t b = item.find_first_not_of(" \t");
        if (b == std::string_view::npos)
            continue; // "1,,2", or a separator at the end
        item = item.substr(b, item.find_last_not_of(" \t") - b + 1);
        uint32_t v = 0;
        if (!ParseAddress(item, v))
            err.kind = SSlaveListError::kBadAddress;
        else if (std::find(out.begin(), out.end(), v) != out.end())
            err.kind = SSlaveListError::kDuplicate;
        else {
            out.push_back(static_cast<uint8_t>(v));
            continue;
        }
        err.item = item;
        return false;
    }
    if (out.empty()) {
        err.kind = SSlaveListError::kEmpty;
        return false;
    }
    return true;
}
