#pragma once
// The working state of the device configuration dialog, without widgets: the bit-rate table, which rate
// lists an interface kind enables, and the three device records as the user's choices change them.
// Only Active and the two Baudrates are ever changed; Name, Kind and the timing bytes stay as given.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/cfgrecords.h"

// One row of the bit-rate list.
struct CanBaudEntry {
    std::string_view Text;
    uint16_t Baudrate;  // kbit/s
};
// The bit-rate list, in list order: "BAUD_1M" (1000) down to "BAUD_10K" (10).
extern const std::array<CanBaudEntry, 8> kCanBaudTable;

// The list text of a rate; "BAUD_250K" for a rate that is not in the table.
std::string_view CanBaudText(uint16_t baudrate);
// The rate of a list text (exact match); 0 for a text that is not in the table.
uint16_t CanBaudValue(std::string_view text);

// Which of the two rate lists an interface kind (its number of channels) enables. A single-channel
// interface uses channel 1's setting.
struct CanChanEnable {
    bool Chan0 = false;
    bool Chan1 = false;

    bool operator==(const CanChanEnable&) const = default;
};
CanChanEnable CanChanEnableForKind(uint32_t kind);

class CanDevCfgModel {
public:
    // Copies of the records in the configuration's order NXP, CF51, WiFi. The device shown is the last
    // Active one in the list order CF51, NXP, WiFi; with none Active nothing is shown and both rate lists
    // are disabled. A stored rate that is not in the table is shown as "BAUD_250K" and kept.
    explicit CanDevCfgModel(const tCFG_CAN_DEV (&devs)[3]);

    // The device list: the record names in the order CF51, NXP, WiFi.
    std::vector<std::string> DeviceNames() const;
    // The shown device's position in that list, or -1.
    int Shown() const { return m_Shown; }
    // The texts shown by the rate lists of channel 0 and 1, and which lists are enabled.
    std::string_view RateText(int chan) const { return m_RateText[chan == 0 ? 0 : 1]; }
    CanChanEnable Enabled() const { return CanChanEnableForKind(m_Kind); }

    // The user chose a device by its name: the record of that name becomes the only Active one and is
    // shown with its rates.
    void SelectDevice(std::string_view name);
    // The user chose a rate text for channel 0 or 1: its rate goes into that channel of every Active
    // record.
    void SelectRate(int chan, std::string_view text);

    // The records in the configuration's order.
    const tCFG_CAN_DEV& Dev(size_t index) const { return m_Devs[index]; }

private:
    void show(int listIndex);

    tCFG_CAN_DEV m_Devs[3];
    int m_Shown = -1;
    uint32_t m_Kind = 0;
    std::string_view m_RateText[2];
};
