#include "services/spnfmicsv.h"

#include <cstdio>

#include "platform/numparse.h"
#include "platform/textcodec.h"
#include "platform/util/fileread.h"
#include "services/servicefile.h"

namespace {

// Bytes of a field shown in a message: a line of random bytes may be long.
constexpr size_t kShownFieldBytes = 40;

// A decimal number as the file's SPN and FMI fields hold one: blanks around an optional sign and digits.
bool isDecimal(std::string_view field) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!field.empty() && blank(field.front())) field.remove_prefix(1);
    while (!field.empty() && blank(field.back())) field.remove_suffix(1);
    if (!field.empty() && (field.front() == '+' || field.front() == '-')) field.remove_prefix(1);
    if (field.empty()) return false;
    for (const char c : field)
        if (c < '0' || c > '9') return false;
    return true;
}

std::string shownField(std::string_view gbk) {
    std::string text = vex::GbkToUtf8(gbk.substr(0, vex::GbkPrefixBytes(gbk, kShownFieldBytes)));
    if (gbk.size() > kShownFieldBytes) text += "…";
    return text;
}

}  // namespace

void ParseSpnFmiText(std::string_view gbkText, SpnFmiDescMap& map, std::vector<SpnFmiRejected>& rejected) {
    uint32_t number = 0;
    vex::svc::ForEachLine(gbkText, [&](std::string_view line) {
        ++number;
        const size_t c1 = line.find(',');
        if (c1 == std::string_view::npos) return true;
        const size_t c2 = line.find(',', c1 + 1);
        if (c2 == std::string_view::npos) return true;
        const size_t c3 = line.find(',', c2 + 1);
        const std::string_view descGbk =
            line.substr(c2 + 1, c3 == std::string_view::npos ? std::string_view::npos : c3 - c2 - 1);
        const std::string_view spnField = line.substr(0, c1);
        const std::string_view fmiField = line.substr(c1 + 1, c2 - c1 - 1);
        std::string desc = vex::GbkToUtf8(descGbk);
        // Read by the C rule a field that is no number gives 0, a valid SPN and FMI: such a line would
        // describe SPN 0 / FMI 0 with whatever it holds.
        if (!isDecimal(spnField) || !isDecimal(fmiField)) {
            rejected.push_back(
                {0, 0, std::move(desc), number, true, shownField(spnField), shownField(fmiField)});
            return true;
        }
        // Both numbers are checked as written, before any narrowing: an FMI of 256 cut to 8 bits would
        // describe FMI 0, a fault the line never named.
        const int32_t spn = vex::ParseInt32(spnField);
        const int32_t fmi = vex::ParseInt32(fmiField);
        if (spn < 0 || spn > 0x7FFFF || fmi < 0 || fmi > 31) {
            rejected.push_back({spn, fmi, std::move(desc), number, false, {}, {}});
            return true;
        }
        const uint32_t u = static_cast<uint32_t>(spn);
        const uint8_t f = static_cast<uint8_t>(fmi);
        map[SpnFmiKey(u, f)] = tPARSE_SPN_FMI{u, f, std::move(desc)};
        return true;
    });
}

bool LoadSpnFmiFile(const std::string& path, SpnFmiDescMap& map, std::vector<SpnFmiRejected>& rejected,
                    std::string* why) {
    std::string text;
    if (std::string reason = vex::ReadInputFile(path, vex::kMaxInputFileBytes, text); !reason.empty()) {
        if (why != nullptr) *why = std::move(reason);
        return false;
    }
    // A file with no description in it (empty, binary, another tool's file) is refused rather than taken
    // as an empty list: loading it would only throw away the descriptions loaded before.
    SpnFmiDescMap loaded;
    ParseSpnFmiText(text, loaded, rejected);
    if (loaded.empty()) {
        if (why != nullptr) *why = "文件中没有SPN-FMI描述行（每行为：SPN,FMI,描述）。";
        return false;
    }
    map = std::move(loaded);
    return true;
}

std::string SpnFmiRejectedText(const SpnFmiRejected& r) {
    if (r.notNumber)
        return "第" + std::to_string(r.line) + "行的SPN(" + r.spnField + ")-FMI(" + r.fmiField +
               ") 不是十进制数值\r\n描述为" + r.desc;
    char head[96];
    std::snprintf(head, sizeof head, "不合理的SPN(%d)-FMI(%d) 的数值\r\n描述为", r.spn, r.fmi);
    return head + r.desc;
}
