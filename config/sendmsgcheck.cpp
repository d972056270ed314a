#include "config/sendmsgcheck.h"

#include <cstdio>

std::string CheckSendMsgRecord(const tCFG_SET_SEND_MSG& rec) {
    const char* why = nullptr;
    if (!rec.Ext && rec.MsgID > 0x7FFu)
        why = "此ID值超出标准ID最大值。";
    else if (rec.Ext && rec.MsgID > 0x1FFFFFFFu)
        why = "此ID值超出扩展ID最大值。";
    else if (rec.DL > 8)
        why = "报文长度不能大于8。";
    else if (rec.Chan > 1)
        why = "通道号只能为0或1。";
    if (why == nullptr) return {};
    char id[16];
    std::snprintf(id, sizeof id, "%08X", rec.MsgID);
    return "发送报文 " + rec.MsgName + "（ID " + id + "）：" + why;
}
