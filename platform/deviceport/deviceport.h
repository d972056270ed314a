#pragma once
// Device provider and device port: what a driver library sees of a USB device. The provider lists the
// present devices of an interface class and opens one by its path; the port offers the bulk pipe in both
// directions and the control call. Results are the system's error codes, 0 on success.
//
// The built-in provider serves the emulated interfaces on the in-process emulated bus (emupeer.h).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vex::devport {

// System error codes, numbered as the native platform numbers them.
inline constexpr uint32_t kOk = 0;
inline constexpr uint32_t kErrInvalidFunction = 1;
inline constexpr uint32_t kErrFileNotFound = 2;
inline constexpr uint32_t kErrInvalidHandle = 6;
inline constexpr uint32_t kErrNotEnoughMemory = 8;
inline constexpr uint32_t kErrNotReady = 21;
inline constexpr uint32_t kErrGenFailure = 31;
inline constexpr uint32_t kErrSharingViolation = 32;
inline constexpr uint32_t kErrInvalidParameter = 87;
inline constexpr uint32_t kErrInsufficientBuffer = 122;
inline constexpr uint32_t kErrBusy = 170;
inline constexpr uint32_t kErrOperationAborted = 995;
inline constexpr uint32_t kErrIoPending = 997;
inline constexpr uint32_t kErrDeviceNotConnected = 1167;
inline constexpr uint32_t kErrNotFound = 1168;
inline constexpr uint32_t kErrTimeout = 1460;

// Interface class of the single-channel USB CAN interface.
inline constexpr std::string_view kCf51InterfaceClass = "{1C18ED81-B5B9-4095-931B-F407C6DB1B1A}";

// An open device. Every operation may be called from several threads at once.
class DevicePort {
public:
    virtual ~DevicePort() = default;
    // Reads what the device has on its IN pipe, at most `capacity` bytes; waits at most timeoutMs for the
    // first byte. kOk with bytes > 0, kErrTimeout when nothing came, else the failure.
    virtual uint32_t ReadPipe(uint8_t* buf, size_t capacity, uint32_t timeoutMs, size_t& bytes) = 0;
    // Sends whole records; kErrBusy when the device has no room for the transfer now (nothing of it was
    // taken: the caller tries it again).
    virtual uint32_t WritePipe(const uint8_t* data, size_t length, uint32_t timeoutMs) = 0;
    // A device control call; `returned` is the number of reply bytes written to `out`.
    virtual uint32_t Control(uint32_t code, const uint8_t* in, size_t inLength, uint8_t* out,
                             size_t outCapacity, size_t& returned) = 0;
    // Ends the transfers that wait in other threads: they fail with kErrOperationAborted.
    virtual void CancelIo() = 0;
};

// Paths of the present devices that expose the interface class, in enumeration order.
std::vector<std::string> PresentDevices(std::string_view interfaceClass);

// Opens a device for reading and writing; nullptr and `error` set on failure.
std::unique_ptr<DevicePort> OpenDevice(std::string_view path, uint32_t& error);

}  // namespace vex::devport
