#include "ui/app/candevcfgmodel.h"

#include <algorithm>

const std::array<CanBaudEntry, 8> kCanBaudTable = {{
    {"BAUD_1M", 1000},
    {"BAUD_500K", 500},
    {"BAUD_250K", 250},
    {"BAUD_125K", 125},
    {"BAUD_100K", 100},
    {"BAUD_50K", 50},
    {"BAUD_20K", 20},
    {"BAUD_10K", 10},
}};

namespace {

// The device list shows CF51, NXP, WiFi; the records stand in the order NXP, CF51, WiFi.
constexpr size_t kListToRecord[3] = {1, 0, 2};

}  // namespace

std::string_view CanBaudText(uint16_t baudrate) {
    for (const CanBaudEntry& e : kCanBaudTable)
        if (e.Baudrate == baudrate) return e.Text;
    return "BAUD_250K";
}

uint16_t CanBaudValue(std::string_view text) {
    for (const CanBaudEntry& e : kCanBaudTable)
        if (e.Text == text) return e.Baudrate;
    return 0;
}

CanChanEnable CanChanEnableForKind(uint32_t kind) {
    switch (kind) {
        case 1:
            return {false, true};
        case 2:
            return {true, true};
        default:
            return {};
    }
}

CanDevCfgModel::CanDevCfgModel(const tCFG_CAN_DEV (&devs)[3]) {
    std::copy(std::begin(devs), std::end(devs), std::begin(m_Devs));
    int shown = -1;
    for (int i = 0; i < 3; ++i)
        if (m_Devs[kListToRecord[i]].Active) shown = i;
    show(shown);
}

std::vector<std::string> CanDevCfgModel::DeviceNames() const {
    std::vector<std::string> names;
    for (size_t r : kListToRecord) names.push_back(m_Devs[r].Name);
    return names;
}

void CanDevCfgModel::show(int listIndex) {
    m_Shown = listIndex;
    const tCFG_CAN_DEV* dev = listIndex < 0 ? nullptr : &m_Devs[kListToRecord[listIndex]];
    m_Kind = dev ? dev->Kind : 0;
    m_RateText[0] = CanBaudText(dev ? dev->CHAN0.Baudrate : 0);
    m_RateText[1] = CanBaudText(dev ? dev->CHAN1.Baudrate : 0);
}

void CanDevCfgModel::SelectDevice(std::string_view name) {
    int shown = -1;
    for (int i = 0; i < 3; ++i) {
        tCFG_CAN_DEV& dev = m_Devs[kListToRecord[i]];
        dev.Active = dev.Name == name ? 1 : 0;
        if (dev.Active) shown = i;
    }
    show(shown);
}

void CanDevCfgModel::SelectRate(int chan, std::string_view text) {
    const uint16_t rate = CanBaudValue(text);
    for (tCFG_CAN_DEV& dev : m_Devs)
        if (dev.Active) (chan == 0 ? dev.CHAN0 : dev.CHAN1).Baudrate = rate;
    m_RateText[chan == 0 ? 0 : 1] = CanBaudText(rate);
}
