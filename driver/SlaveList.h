#pragma once
// A list of drivers on one line by their slave addresses, as a person types
// it: "1,2,5", "0x01; 0x02". One grammar for every surface that takes one
// (the bus view, `halvik-cli status/stop --slaves`, `halvik-sim --slaves`);
// each words a refusal in its own terms.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The addresses a driver can answer at (0 is broadcast, 248..255 reserved).
inline constexpr int kFirstSlaveAddress = 1, kLastSlaveAddress = 247;

struct SSlaveListError {
    enum EKind {
        kNone,
        kBadAddress, // not a decimal or 0x number, or outside 1..247
        kDuplicate,  // an address named a second time
        kEmpty,      // no address at all
    };
    EKind kind = kNone;
    std::string item; // the offending item as typed, blanks trimmed
};

// Items separated by ',' or ';', blanks around them ignored and empty ones
// skipped, each a decimal or 0x/0X hexadecimal address 1..247, none twice.
// out gets them in the order given; false with err set when the text is no
// such list (out is then incomplete).
bool ParseSlaveList(std::string_view text, std::vector<uint8_t>& out, SSlaveListError& err);
