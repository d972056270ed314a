#include "config/regconfig.h"

using vex::SettingsStore;

CRegConfig::CRegConfig() : m_store(vex::CurrentSettingsStore()) {}
CRegConfig::CRegConfig(SettingsStore& store) : m_store(store) {}
CRegConfig::~CRegConfig() = default;

bool CRegConfig::Save() {
    if (!m_store.open()) return false;
    Exchange(true);
    return m_store.close();
}

bool CRegConfig::Load() {
    if (!m_store.open()) return false;
    Exchange(false);
    m_store.close();
    return true;
}

bool CRegConfig::isReadable(const std::string& name, const Held& like) const {
    if (std::holds_alternative<uint32_t>(like)) return m_store.readDword(name).has_value();
    const auto kind = m_store.kind(name);
    return kind && *kind == SettingsStore::Kind::String;
}

// A value is written when this object changed it since reading, or when the store lacks a readable
// value of it (a fresh account, a value of the wrong type) and no other object has written one since.
void CRegConfig::writeBack(const char* name, const Held& value) {
    const auto it = m_loaded.find(name);
    if (it != m_loaded.end()) {
        const bool changed = it->second.value != value;
        if (!changed && (it->second.inStore || isReadable(name, value))) return;
    }
    if (const auto* d = std::get_if<uint32_t>(&value))
        m_store.writeDword(name, *d);
    else
        m_store.writeString(name, std::get<std::string>(value));
    m_loaded.insert_or_assign(name, Loaded{value, true});
}

void CRegConfig::ExchangeDword(const char* name, uint32_t& value, bool save) {
    if (save) return writeBack(name, value);
    const auto stored = m_store.readDword(name);
    if (stored) value = *stored;
    m_loaded.insert_or_assign(name, Loaded{value, stored.has_value()});
}

void CRegConfig::ExchangeString(const char* name, std::string& value, bool save) {
    if (save) return writeBack(name, value);
    const auto stored = m_store.read(name);
    bool inStore = false;
    if (stored) {
        inStore = stored->kind == SettingsStore::Kind::String;
        value = inStore ? stored->text : std::string();
    }
    m_loaded.insert_or_assign(name, Loaded{value, inStore});
}

CAppRegConfig::CAppRegConfig() {
    Load();
}
CAppRegConfig::CAppRegConfig(SettingsStore& store) : CRegConfig(store) {
    Load();
}
CAppRegConfig::~CAppRegConfig() {
    Save();
}

void CAppRegConfig::Exchange(bool save) {
    ExchangeDword("dwLastAddEnumItemVal", dwLastAddEnumItemVal, save);
    ExchangeString("sLastCfgFilePathName", sLastCfgFilePathName, save);
    ExchangeString("sLastReplayLogFilePathName", sLastReplayLogFilePathName, save);
    ExchangeString("sLastCanMsgLogFileDstFilePath", sLastCanMsgLogFileDstFilePath, save);
    ExchangeString("sLastCanMsgLogFileDstType", sLastCanMsgLogFileDstType, save);
    ExchangeString("sAppFolderPath", sAppFolderPath, save);
    ExchangeString("sAppVersion", sAppVersion, save);
    ExchangeDword("dwWndTraceOrder", dwWndTraceOrder, save);
    ExchangeDword("dwWndGraphOrder", dwWndGraphOrder, save);
    ExchangeDword("dwWndSendOrder", dwWndSendOrder, save);
    ExchangeDword("dwWndInfoOrder", dwWndInfoOrder, save);
}
