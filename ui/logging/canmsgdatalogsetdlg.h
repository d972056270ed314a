#pragma once
// "记录设置": the continuous logger's file-name prefix, its automatic start on going online, and the log
// filter. While the program is online or replaying the settings are shown read-only: the prefix cannot be
// edited, the check box and OK are disabled, and the filter opens read-only.
#include <QDialog>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "config/cfgrecords.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

// The check on OK: the first failing message, or none.
std::optional<std::string> validateLogSet(std::string_view prefix);

class CCanMsgDataLogSetDlg : public QDialog {
    Q_OBJECT
public:
    // Edits `filter` in place (read-only when asked); true when the user confirmed the edit.
    using FilterEditor = std::function<bool(CCanMsgFilter& filter, bool readOnly, QWidget* parent)>;

    CCanMsgDataLogSetDlg(const tCFG_SET_LOG& settings, bool readOnly, QWidget* parent = nullptr);

    // What "设置" opens; without one the button is disabled.
    void SetFilterEditor(FilterEditor editor);

    std::string prefix() const;
    uint8_t autoLogFlag() const;
    const CCanMsgFilter& filter() const { return m_filter; }
    // Prefix, flag and filter into the settings (the filter replaces the settings' one entirely).
    void Store(tCFG_SET_LOG& settings) const;

    void accept() override;

private:
    void editFilter();

    CCanMsgFilter m_filter;
    bool m_readOnly;
    FilterEditor m_editor;
    QLineEdit* m_prefix;
    QCheckBox* m_autoLog;
    QPushButton* m_filterButton;
    QPushButton* m_ok;
};

// The log settings command: the dialog on the settings; on OK the settings take its values. True then.
bool EditLogSettings(tCFG_SET_LOG& settings, bool readOnly, CCanMsgDataLogSetDlg::FilterEditor editor,
                     QWidget* parent);
