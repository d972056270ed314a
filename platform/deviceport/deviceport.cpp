// The built-in device provider: the emulated interfaces on the in-process bus.
#include "platform/deviceport/deviceport.h"

#include <algorithm>
#include <atomic>
#include <cctype>

#include "platform/deviceport/emunodes.h"

namespace vex::devport {

namespace {

using vex::emu::Bus;
using vex::emu::Cf51Device;

class Cf51Port final : public DevicePort {
public:
    Cf51Port(Cf51Device& dev, uint64_t generation) : m_dev(dev), m_generation(generation) {}
    ~Cf51Port() override { m_dev.CloseHandle(m_generation); }

    uint32_t ReadPipe(uint8_t* buf, size_t capacity, uint32_t timeoutMs, size_t& bytes) override {
        return m_dev.Read(m_generation, m_cancel, m_cancel.load(), buf, capacity, timeoutMs, bytes);
    }
    uint32_t WritePipe(const uint8_t* data, size_t length, uint32_t) override {
        return m_dev.Write(m_generation, data, length);
    }
    uint32_t Control(uint32_t code, const uint8_t* in, size_t inLength, uint8_t* out, size_t outCapacity,
                     size_t& returned) override {
        return m_dev.Control(m_generation, code, in, inLength, out, outCapacity, returned);
    }
    void CancelIo() override {
        ++m_cancel;
        m_dev.WakeReaders();
    }

private:
    Cf51Device& m_dev;
    const uint64_t m_generation;
    std::atomic<uint64_t> m_cancel{0};
};

bool SameClass(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::vector<std::string> PresentDevices(std::string_view interfaceClass) {
    if (!SameClass(interfaceClass, kCf51InterfaceClass)) return {};
    Bus& bus = Bus::Instance();
    std::lock_guard<std::mutex> lock(bus.Mutex());
    ++bus.Cf51().Queries();
    if (!bus.Cf51().Present()) return {};
    return {Cf51Device::Path()};
}

std::unique_ptr<DevicePort> OpenDevice(std::string_view path, uint32_t& error) {
    if (path != Cf51Device::Path()) {
        error = kErrFileNotFound;
        return nullptr;
    }
    Cf51Device& dev = Bus::Instance().Cf51();
    uint64_t generation = 0;
    error = dev.Open(generation);
    if (error != kOk) return nullptr;
    return std::make_unique<Cf51Port>(dev, generation);
}

}  // namespace vex::devport
