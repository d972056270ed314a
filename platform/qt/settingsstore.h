#pragma once
// The per-user store of named values that stands in for the registry key "Software\Vexarium\Config":
// DWORD and string values under a fixed name. The process-wide current store keeps its values with
// QSettings (organisation "Vexarium", group "Config") unless a test installs another
// (ScopedSettingsStore with a MemorySettingsStore). Every implementation is safe to use from any thread.
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QSettings;

namespace vex {

class SettingsStore {
public:
    // The stored type of a value: a 32-bit number, a text, or anything else (bytes of another type).
    enum class Kind { Dword, String, Other };
    struct Value {
        Kind kind = Kind::String;
        uint32_t dword = 0;  // Dword
        std::string text;    // String: UTF-8 text; Other: the raw bytes
    };

    virtual ~SettingsStore() = default;

    // Opens the key for reading and writing, creating it when needed; false when it cannot be had.
    // Every successful open is paired with one close.
    virtual bool open() = 0;
    // Makes what was written since open durable; false when that failed.
    virtual bool close() = 0;

    // The stored value, or none when the name is absent.
    virtual std::optional<Value> read(std::string_view name) const = 0;
    virtual void writeDword(std::string_view name, uint32_t value) = 0;
    virtual void writeString(std::string_view name, std::string_view utf8) = 0;

    std::optional<Kind> kind(std::string_view name) const;
    // A DWORD value, or none when absent or of another type. A store that keeps no types (a text file)
    // gives numbers back as decimal text, so a String of 1 to 10 decimal digits up to 4294967295 counts too.
    std::optional<uint32_t> readDword(std::string_view name) const;
};

// The current store: QSettings under the user's configuration folder by default.
SettingsStore& CurrentSettingsStore();
// Installs a store (not owned); nullptr puts the QSettings one back.
void SetCurrentSettingsStore(SettingsStore* store);

class ScopedSettingsStore {
public:
    explicit ScopedSettingsStore(SettingsStore& store);
    ~ScopedSettingsStore();
    ScopedSettingsStore(const ScopedSettingsStore&) = delete;
    ScopedSettingsStore& operator=(const ScopedSettingsStore&) = delete;

private:
    SettingsStore* m_previous;
};

// QSettings behind the interface. The file keeps no types: a DWORD reads back as its decimal text, and
// values of Qt types other than text read as Kind::Other.
class QtSettingsStore final : public SettingsStore {
public:
    // The user's store: organisation "Vexarium", application "Vexarium", group "Config".
    QtSettingsStore();
    // An INI file of its own (tests), group "Config".
    explicit QtSettingsStore(const QString& iniFile);
    ~QtSettingsStore() override;

    bool open() override;
    bool close() override;
    std::optional<Value> read(std::string_view name) const override;
    void writeDword(std::string_view name, uint32_t value) override;
    void writeString(std::string_view name, std::string_view utf8) override;

private:
    std::unique_ptr<QSettings> make() const;
    template <class F>
    auto withSettings(F&& f) const;

    QString m_iniFile;  // empty: the user's store
    mutable std::mutex m_mutex;
    int m_openCount = 0;
    std::unique_ptr<QSettings> m_open;
};

// The in-memory fake for tests: values of any kind can be planted, writes are recorded, and the key can
// be made unavailable.
class MemorySettingsStore final : public SettingsStore {
public:
    bool open() override;
    bool close() override;
    std::optional<Value> read(std::string_view name) const override;
    void writeDword(std::string_view name, uint32_t value) override;
    void writeString(std::string_view name, std::string_view utf8) override;

    // Plants a value of any kind (not recorded as a write).
    void set(std::string_view name, Value value);
    void erase(std::string_view name);
    // When false, open fails and nothing can be exchanged.
    void setAvailable(bool available);
    // The names written since construction or the last clearWrites, in order.
    std::vector<std::string> writes() const;
    void clearWrites();
    std::map<std::string, Value, std::less<>> values() const;

private:
    mutable std::mutex m_mutex;
    std::map<std::string, Value, std::less<>> m_values;
    std::vector<std::string> m_writes;
    bool m_available = true;
};

}  // namespace vex
