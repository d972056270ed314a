#include "platform/qt/settingsstore.h"

#include <QSettings>
#include <QVariant>

#include <atomic>

namespace vex {
namespace {

const QString kGroup = QStringLiteral("Config");

QString qName(std::string_view name) {
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

std::atomic<SettingsStore*> g_current{nullptr};

}  // namespace

std::optional<SettingsStore::Kind> SettingsStore::kind(std::string_view name) const {
    const auto v = read(name);
    if (!v) return std::nullopt;
    return v->kind;
}

std::optional<uint32_t> SettingsStore::readDword(std::string_view name) const {
    const auto v = read(name);
    if (!v) return std::nullopt;
    if (v->kind == Kind::Dword) return v->dword;
    if (v->kind != Kind::String || v->text.empty() || v->text.size() > 10) return std::nullopt;
    uint64_t n = 0;
    for (char c : v->text) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    if (n > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<uint32_t>(n);
}

SettingsStore& CurrentSettingsStore() {
    SettingsStore* s = g_current.load();
    if (s) return *s;
    static QtSettingsStore userStore;
    return userStore;
}

void SetCurrentSettingsStore(SettingsStore* store) {
    g_current.store(store);
}

ScopedSettingsStore::ScopedSettingsStore(SettingsStore& store) : m_previous(g_current.exchange(&store)) {}
ScopedSettingsStore::~ScopedSettingsStore() {
    g_current.store(m_previous);
}

// ---- QSettings ----

QtSettingsStore::QtSettingsStore() = default;
QtSettingsStore::QtSettingsStore(const QString& iniFile) : m_iniFile(iniFile) {}
QtSettingsStore::~QtSettingsStore() = default;

std::unique_ptr<QSettings> QtSettingsStore::make() const {
    std::unique_ptr<QSettings> s;
    if (m_iniFile.isEmpty())
        s = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                        QStringLiteral("Vexarium"), QStringLiteral("Vexarium"));
    else
        s = std::make_unique<QSettings>(m_iniFile, QSettings::IniFormat);
    s->beginGroup(kGroup);
    return s;
}

// Runs f on the settings held open, or on a short-lived object when the store is not open.
template <class F>
auto QtSettingsStore::withSettings(F&& f) const {
    std::lock_guard lock(m_mutex);
    if (m_open) return f(*m_open);
    auto transient = make();
    return f(*transient);
}

bool QtSettingsStore::open() {
    std::lock_guard lock(m_mutex);
    if (m_openCount == 0) {
        auto s = make();
        s->sync();
        if (s->status() != QSettings::NoError || !s->isWritable()) return false;
        m_open = std::move(s);
    }
    ++m_openCount;
    return true;
}

bool QtSettingsStore::close() {
    std::lock_guard lock(m_mutex);
    if (m_openCount == 0 || !m_open) return false;
    m_open->sync();
    const bool ok = m_open->status() == QSettings::NoError;
    if (--m_openCount == 0) m_open.reset();
    return ok;
}

std::optional<SettingsStore::Value> QtSettingsStore::read(std::string_view name) const {
    return withSettings([&](QSettings& s) -> std::optional<Value> {
        const QVariant v = s.value(qName(name));
        if (!v.isValid()) return std::nullopt;
        switch (v.typeId()) {
            case QMetaType::QString:
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::LongLong:
            case QMetaType::ULongLong:
                // Numbers written in this session are still typed in QSettings' cache; from the file they
                // come back as text. Both read the same way.
                return Value{Kind::String, 0, v.toString().toStdString()};
            case QMetaType::QByteArray: {
                const QByteArray b = v.toByteArray();
                return Value{Kind::Other, 0, std::string(b.constData(), static_cast<size_t>(b.size()))};
            }
            default:
                return Value{Kind::Other, 0, std::string()};
        }
    });
}

void QtSettingsStore::writeDword(std::string_view name, uint32_t value) {
    withSettings([&](QSettings& s) { s.setValue(qName(name), static_cast<qulonglong>(value)); });
}

void QtSettingsStore::writeString(std::string_view name, std::string_view utf8) {
    withSettings([&](QSettings& s) { s.setValue(qName(name), qName(utf8)); });
}

// ---- in memory ----

bool MemorySettingsStore::open() {
    std::lock_guard lock(m_mutex);
    return m_available;
}

bool MemorySettingsStore::close() {
    std::lock_guard lock(m_mutex);
    return m_available;
}

std::optional<SettingsStore::Value> MemorySettingsStore::read(std::string_view name) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_values.find(name);
    if (it == m_values.end()) return std::nullopt;
    return it->second;
}

void MemorySettingsStore::writeDword(std::string_view name, uint32_t value) {
    std::lock_guard lock(m_mutex);
    m_values.insert_or_assign(std::string(name), Value{Kind::Dword, value, std::string()});
    m_writes.emplace_back(name);
}

void MemorySettingsStore::writeString(std::string_view name, std::string_view utf8) {
    std::lock_guard lock(m_mutex);
    m_values.insert_or_assign(std::string(name), Value{Kind::String, 0, std::string(utf8)});
    m_writes.emplace_back(name);
}

void MemorySettingsStore::set(std::string_view name, Value value) {
    std::lock_guard lock(m_mutex);
    m_values.insert_or_assign(std::string(name), std::move(value));
}

void MemorySettingsStore::erase(std::string_view name) {
    std::lock_guard lock(m_mutex);
    if (auto it = m_values.find(name); it != m_values.end()) m_values.erase(it);
}

void MemorySettingsStore::setAvailable(bool available) {
    std::lock_guard lock(m_mutex);
    m_available = available;
}

std::vector<std::string> MemorySettingsStore::writes() const {
    std::lock_guard lock(m_mutex);
    return m_writes;
}

void MemorySettingsStore::clearWrites() {
    std::lock_guard lock(m_mutex);
    m_writes.clear();
}

std::map<std::string, SettingsStore::Value, std::less<>> MemorySettingsStore::values() const {
    std::lock_guard lock(m_mutex);
    return m_values;
}

}  // namespace vex
