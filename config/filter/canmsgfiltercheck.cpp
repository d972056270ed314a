#include "config/filter/canmsgfiltercheck.h"

#include <algorithm>

#include "platform/numparse.h"

uint32_t FilterMsgIdFromText(std::string_view idText) {
    return vex::ParseHexUInt32(idText);
}

std::optional<std::string> validateFilterMsg(uint8_t editKind, std::string_view idText, int32_t startId,
                                             const std::vector<uint32_t>& existing) {
    if (idText.empty()) return std::string("ID值不能为空");
    const uint32_t id = FilterMsgIdFromText(idText);
    const bool listed = std::find(existing.begin(), existing.end(), id) != existing.end();
    switch (editKind) {
        case kFilterMsgAdd:
            break;
        case kFilterMsgEdit:
            // The identifier the dialog opened with may stay, although it is listed.
            if (id == static_cast<uint32_t>(startId)) return std::nullopt;
            break;
        default:
            return std::string("未知的编辑类型。");
    }
    if (listed) return std::string("过滤列表中已经包含此ID值。");
    return std::nullopt;
}
