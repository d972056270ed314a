#include "config/filter/canmsgfilter.h"

#include <gtest/gtest.h>

namespace {

struct Frame {
    uint8_t ext, rtr;
    uint32_t id;
    uint8_t chan;
};

CCanMsgFilter listed(std::initializer_list<uint32_t> ids) {
    CCanMsgFilter f;
    f.MsgIdValType = 1;
    for (uint32_t id : ids) f.MsgMap[id] = tFILTER_CAN_MSG{"", id};
    return f;
}

CCanMsgFilter with(void (*set)(CCanMsgFilter&)) {
    CCanMsgFilter f;
    set(f);
    return f;
}

}  // namespace

TEST(CanMsgFilter, MatchRules) {
    const Frame stdData{0, 0, 0x123, 0}, extData{1, 0, 0x123, 0}, stdRemote{0, 1, 0x123, 0},
        extRemoteCh1{2, 3, 0x123, 1};
    struct {
        const char* what;
        CCanMsgFilter filter;
        Frame frame;
        bool match;
    } cases[] = {
        {"defaults match everything", CCanMsgFilter(), extRemoteCh1, true},
        {"standard only: standard", with([](auto& f) { f.MsgIDType = 0; }), stdData, true},
        {"standard only: extended", with([](auto& f) { f.MsgIDType = 0; }), extData, false},
        {"extended only: extended (any nonzero flag)", with([](auto& f) { f.MsgIDType = 1; }), extRemoteCh1,
         true},
        {"extended only: standard", with([](auto& f) { f.MsgIDType = 1; }), stdData, false},
        {"identifier type 7 means both", with([](auto& f) { f.MsgIDType = 7; }), extData, true},
        {"data only: data", with([](auto& f) { f.MsgFrmType = 0; }), stdData, true},
        {"data only: remote", with([](auto& f) { f.MsgFrmType = 0; }), stdRemote, false},
        {"remote only: remote (any nonzero flag)", with([](auto& f) { f.MsgFrmType = 1; }), extRemoteCh1,
         true},
        {"remote only: data", with([](auto& f) { f.MsgFrmType = 1; }), stdData, false},
        {"channel 1: channel 1", with([](auto& f) { f.Chan = 1; }), extRemoteCh1, true},
        {"channel 1: channel 0", with([](auto& f) { f.Chan = 1; }), stdData, false},
        {"channel 0: channel 1", with([](auto& f) { f.Chan = 0; }), extRemoteCh1, false},
        {"range: inside",
         with([](auto& f) { f.MsgIdValType = 0, f.FltMsgIdMin = 0x100, f.FltMsgIdMax = 0x1FF; }), stdData,
         true},
        {"range: upper end inclusive",
         with([](auto& f) { f.MsgIdValType = 0, f.FltMsgIdMin = 0x100, f.FltMsgIdMax = 0x123; }), stdData,
         true},
        {"range: lower end inclusive",
         with([](auto& f) { f.MsgIdValType = 0, f.FltMsgIdMin = 0x123, f.FltMsgIdMax = 0x1FF; }), stdData,
         true},
        {"range: above",
         with([](auto& f) { f.MsgIdValType = 0, f.FltMsgIdMin = 0x100, f.FltMsgIdMax = 0x122; }), stdData,
         false},
        {"range: below",
         with([](auto& f) { f.MsgIdValType = 0, f.FltMsgIdMin = 0x124, f.FltMsgIdMax = 0x1FF; }), stdData,
         false},
        {"range: start above end matches nothing",
         with([](auto& f) { f.MsgIdValType = 0, f.FltMsgIdMin = 0x200, f.FltMsgIdMax = 0x100; }), stdData,
         false},
        {"list: listed, standard", listed({0x100, 0x123}), stdData, true},
        {"list: listed, extended", listed({0x123}), extData, true},
        {"list: not listed", listed({0x124}), stdData, false},
        {"list: empty", listed({}), stdData, false},
        {"list narrowed by type: standard", with([](auto& f) { f = listed({0x123}), f.MsgIDType = 0; }),
         stdData, true},
        {"list narrowed by type: extended", with([](auto& f) { f = listed({0x123}), f.MsgIDType = 0; }),
         extData, false},
        {"identifier value type 2 ignores the list", with([](auto& f) { f.MsgMap[1] = {}; }), stdData, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.filter.IsMatch(c.frame.ext, c.frame.rtr, c.frame.id, c.frame.chan), c.match) << c.what;
}

TEST(CanMsgFilter, PassRuleCombinesEnableAndBlock) {
    // Range 0x100..0x1FF: 0x1FF matches, 0x200 does not.
    struct {
        uint8_t enable, block;
        bool pass1FF, pass200;
    } cases[] = {
        {0, 0, true, true},  {0, 1, true, true},  {1, 0, true, false},
        {1, 1, false, true}, {1, 2, false, true},  // any nonzero Block is block mode, as the dialog shows it
        {2, 0, true, false},                       // any nonzero Enable counts
    };
    for (const auto& c : cases) {
        CCanMsgFilter f;
        f.Enable = c.enable;
        f.Block = c.block;
        f.MsgIdValType = 0;
        f.FltMsgIdMin = 0x100;
        f.FltMsgIdMax = 0x1FF;
        EXPECT_EQ(f.IsPass(0, 0, 0x1FF, 0), c.pass1FF) << int(c.enable) << "/" << int(c.block);
        EXPECT_EQ(f.IsPass(0, 0, 0x200, 0), c.pass200) << int(c.enable) << "/" << int(c.block);
    }
}

TEST(CanMsgFilter, AssignCopiesEverythingAndReplacesTheList) {
    CCanMsgFilter src = listed({0x10, 0x1ABCDEF0});
    src.MsgMap[0x10].Descr = "发动机";
    src.Enable = 1, src.Block = 1, src.MsgIDType = 0, src.MsgFrmType = 1, src.Chan = 0;
    src.FltMsgIdMax = 0x7FF, src.FltMsgIdMin = 0x80;
    CCanMsgFilter dst;  // every field differs from the source's
    dst.MsgMap[0x99] = {};

    CCanMsgFilter& r = CCanMsgFilter::Assign(dst, src);
    EXPECT_EQ(&r, &dst);
    EXPECT_EQ(dst.Enable, 1);
    EXPECT_EQ(dst.Block, 1);
    EXPECT_EQ(dst.MsgIDType, 0);
    EXPECT_EQ(dst.MsgFrmType, 1);
    EXPECT_EQ(dst.MsgIdValType, 1);
    EXPECT_EQ(dst.Chan, 0);
    EXPECT_EQ(dst.FltMsgIdMax, 0x7FFu);
    EXPECT_EQ(dst.FltMsgIdMin, 0x80u);
    ASSERT_EQ(dst.MsgMap.size(), 2u);
    EXPECT_FALSE(dst.MsgMap.contains(0x99));
    EXPECT_EQ(dst.MsgMap.at(0x10).Descr, "发动机");
    EXPECT_EQ(dst.MsgMap.at(0x1ABCDEF0).MsgId, 0x1ABCDEF0u);
}

TEST(CanMsgFilter, AssignToItselfKeepsTheList) {
    CCanMsgFilter f = listed({1, 2, 3});
    CCanMsgFilter::Assign(f, f);
    EXPECT_EQ(f.MsgMap.size(), 3u);
}
