#pragma once
// Per-user values kept in the settings store (the registry key "Software\Vexarium\Config").
//
// A CAppRegConfig is used as a short-lived local: constructing it reads every value, destroying it writes
// back. Only values that this object changed, or that the store does not hold yet, are written, so two
// objects alive at the same time keep each other's changes and a fresh account still gets every value.
// Errors of the store are not reported: a store that cannot be opened leaves the members as they are on
// reading and receives nothing on writing.
#include <cstdint>
#include <map>
#include <string>
#include <variant>

#include "platform/qt/settingsstore.h"

class CRegConfig {
public:
    // Works on the settings store current at construction, which must outlive the object.
    CRegConfig();
    explicit CRegConfig(vex::SettingsStore& store);
    virtual ~CRegConfig();
    CRegConfig(const CRegConfig&) = delete;
    CRegConfig& operator=(const CRegConfig&) = delete;

    // Open the store, exchange every value, close. False when the store could not be opened (nothing
    // exchanged) or, on saving, could not keep what was written.
    bool Save();
    bool Load();

protected:
    // save true: members to the store; false: store to members.
    virtual void Exchange(bool save) = 0;
    // Reading keeps the member when the value is absent or is not a DWORD.
    void ExchangeDword(const char* name, uint32_t& value, bool save);
    // Reading keeps the member when the value is absent; a value of another type than text reads as "".
    void ExchangeString(const char* name, std::string& value, bool save);

private:
    using Held = std::variant<uint32_t, std::string>;
    struct Loaded {
        Held value;    // the member right after reading
        bool inStore;  // the store held a readable value of the right type
    };
    bool isReadable(const std::string& name, const Held& like) const;
    void writeBack(const char* name, const Held& value);

    vex::SettingsStore& m_store;
    std::map<std::string, Loaded> m_loaded;  // by value name, filled by reading
};

class CAppRegConfig : public CRegConfig {
public:
    // Sets the members to their defaults, then reads every value.
    CAppRegConfig();
    explicit CAppRegConfig(vex::SettingsStore& store);
    // Writes back (see above).
    ~CAppRegConfig() override;

    // Members named after their values, exchanged in this order.
    uint32_t dwLastAddEnumItemVal = 0xFFFFFFFF;  // last value used for a new value-table item
    std::string sLastCfgFilePathName;            // last configuration file (UTF-8 path)
    std::string sLastReplayLogFilePathName;      // last replay log file
    std::string sLastCanMsgLogFileDstFilePath;   // last log conversion target folder
    std::string sLastCanMsgLogFileDstType;       // last log conversion target type
    std::string sAppFolderPath;                  // program folder
    std::string sAppVersion;                     // program version
    uint32_t dwWndTraceOrder = 0;                // stacking order of the four child windows
    uint32_t dwWndGraphOrder = 0;
    uint32_t dwWndSendOrder = 0;
    uint32_t dwWndInfoOrder = 0;

protected:
    void Exchange(bool save) override;
};
