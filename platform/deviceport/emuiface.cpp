// What both emulated interfaces share.
#include <algorithm>

#include "platform/deviceport/deviceport.h"
#include "platform/deviceport/emunodes.h"

namespace vex::emu {

using namespace vex::devport;

uint32_t EmuInterface::Open(uint64_t& generation) {
    std::lock_guard<std::mutex> lock(m_bus.Mutex());
    if (!m_present) return kErrFileNotFound;
    if (m_open) return kErrSharingViolation;
    m_open = true;
    generation = m_generation;
    return kOk;
}

void EmuInterface::CloseHandle(uint64_t generation) {
    std::lock_guard<std::mutex> lock(m_bus.Mutex());
    if (!Valid(generation) || !m_open) return;
    m_open = false;
    Idle();
    m_bus.Changed();
}

void EmuInterface::Unplug() {
    if (!m_present) return;
    m_present = false;
    m_open = false;
    ++m_generation;
    WakeHost();  // the host's waits end and see the handle gone
    Idle();
}

void EmuInterface::Replug(Ns now) {
    m_present = true;
    m_boot = now;  // the interface's clock starts again
    Idle();
}

uint32_t EmuInterface::ApplyPeriodic(PeriodicOp op, const std::function<bool(const PeriodicSlot&)>& same,
                                     const PeriodicSlot& entry) {
    auto& slots = m_periodic.Slots();
    const auto it = std::find_if(slots.begin(), slots.end(), same);
    switch (op) {
        case PeriodicOp::Add: {
            PeriodicSlot s = entry;
            s.nextDue = m_bus.Now();  // the first transmission goes out at once
            if (it != slots.end()) {
                *it = s;
            } else if (slots.size() >= kPeriodicMax) {
                return kErrNotEnoughMemory;
            } else {
                slots.push_back(s);
            }
            break;
        }
        case PeriodicOp::Remove:
            if (it != slots.end()) slots.erase(it);
            return kOk;
        case PeriodicOp::UpdateData:
            if (it == slots.end()) return kErrNotFound;
            it->frame = entry.frame;
            return kOk;
        case PeriodicOp::UpdatePeriod:
            if (it == slots.end()) return kErrNotFound;
            // The next transmission follows the last one by the new period.
            it->nextDue = std::max(it->nextDue - it->period + entry.period, m_bus.Now());
            it->period = entry.period;
            break;
    }
    m_bus.Changed();
    return kOk;
}

}  // namespace vex::emu
