#pragma once
// The J1939 SPN-FMI description file: a text file (GBK) whose lines read "SPN,FMI,description[,...]" with
// SPN and FMI in decimal and no header line. The DMx dialog describes trouble codes from it.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

struct tPARSE_SPN_FMI {
    uint32_t SPN = 0;
    uint8_t FMI = 0;
    std::string desc;  // UTF-8

    bool operator==(const tPARSE_SPN_FMI&) const = default;
};
using SpnFmiDescMap = std::map<uint32_t, tPARSE_SPN_FMI>;  // by SPN x 256 + FMI

// A line that is not stored, as the dialog reports it: its SPN or FMI is out of range, or one of the two
// fields is no decimal number.
struct SpnFmiRejected {
    int32_t spn = 0;  // the SPN field read as a signed decimal number
    int32_t fmi = 0;  // the FMI field read as a signed decimal number
    std::string desc;
    uint32_t line = 0;  // from 1
    // For a field that is no number: the SPN and FMI fields as they stand (UTF-8, cut short when long);
    // spn and fmi are then 0.
    bool notNumber = false;
    std::string spnField;
    std::string fmiField;

    bool operator==(const SpnFmiRejected&) const = default;
};

inline uint32_t SpnFmiKey(uint32_t spn, uint8_t fmi) {
    return spn * 256u + fmi;
}

// Adds the entries of a description text to `map` (a later line replaces an earlier one of the same SPN and
// FMI). Lines with fewer than three comma-separated fields are skipped. A line whose SPN or FMI field is
// no decimal number (blanks around it allowed), or whose SPN is outside 0..524287 or FMI outside 0..31 as
// written (numbers beyond 32 bits count as the nearest 32-bit value) is not stored and is appended to
// `rejected`.
void ParseSpnFmiText(std::string_view gbkText, SpnFmiDescMap& map, std::vector<SpnFmiRejected>& rejected);

// Replaces `map` with the file's descriptions. False, map untouched, when the file cannot be read or holds
// no description to store, with the reason in `why` (vex::ReadInputFile's: the system's text, a device or
// FIFO, a file above 256 MB; or that no line describes an SPN-FMI).
bool LoadSpnFmiFile(const std::string& path, SpnFmiDescMap& map, std::vector<SpnFmiRejected>& rejected,
                    std::string* why = nullptr);

// Out of range: "不合理的SPN(%d)-FMI(%d) 的数值\r\n描述为%s". No number: the line, the two fields and the
// description, "第%u行的SPN(%s)-FMI(%s) 不是十进制数值\r\n描述为%s".
std::string SpnFmiRejectedText(const SpnFmiRejected& r);
