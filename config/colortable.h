#pragma once
// The palette from which graph curves take their colours, handed out in turn.
#include <array>
#include <cstdint>

class CColorTable {
public:
    static constexpr uint32_t kCount = 60;

    CColorTable();
    virtual ~CColorTable() = default;

    // The colour at the next index (0x00BBGGRR), then the index advances; after the last entry the table
    // starts again at index 0. The index is never reset otherwise.
    uint32_t NextColor();

private:
    std::array<uint32_t, kCount> m_colors;
    uint32_t m_next = 0;
};
