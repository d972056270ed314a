#include "config/filter/canmsgfiltercheck.h"

#include <algorithm>

#include "platform/numparse.h"

uint32_t FilterMsgIdFromText(std::string_view idText) {
    return vex::ParseHexUInt32(idText);
}

std::optional<std::string> validateFilterMsg(uint8_t editKind, uint32_t id, int32_t startId,
                                             const std::vector<uint32_t>& existing) {
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
