#include "config/filter/canmsgfilter.h"

bool CCanMsgFilter::IsMatch(uint8_t extended, uint8_t remote, uint32_t id, uint8_t channel) const {
    if ((MsgIDType == 0 && extended != 0) || (MsgIDType == 1 && extended == 0)) return false;
    if ((MsgFrmType == 0 && remote != 0) || (MsgFrmType == 1 && remote == 0)) return false;
    if (Chan != 255 && Chan != channel) return false;
    if (MsgIdValType == 0) return id <= FltMsgIdMax && id >= FltMsgIdMin;
    if (MsgIdValType == 1) return MsgMap.contains(id);
    return true;
}

CCanMsgFilter& CCanMsgFilter::Assign(CCanMsgFilter& target, const CCanMsgFilter& source) {
    // Emptying the target's list first would lose the list when both are the same filter.
    if (&target == &source) return target;
    target.Enable = source.Enable;
    target.Block = source.Block;
    target.MsgIDType = source.MsgIDType;
    target.MsgFrmType = source.MsgFrmType;
    target.MsgIdValType = source.MsgIdValType;
    target.Chan = source.Chan;
    target.MsgMap = source.MsgMap;
    target.FltMsgIdMax = source.FltMsgIdMax;
    target.FltMsgIdMin = source.FltMsgIdMin;
    return target;
}
