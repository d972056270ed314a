#pragma once
// "CAN设备配置": chooses the interface kind used when going online and the bit rate of each channel, on
// copies of the configuration's three device records. The device in use is not touched: the choice takes
// effect the next time the program goes online.
#include <QDialog>

#include "ui/app/candevcfgmodel.h"

class CAppCfg;
class QComboBox;

class CCanDevCfgDlg : public QDialog {
    Q_OBJECT
public:
    // devs in the configuration's order NXP, CF51, WiFi. While online the records can be looked at but
    // not changed: the device and both rate lists are disabled.
    CCanDevCfgDlg(const tCFG_CAN_DEV (&devs)[3], bool online, QWidget* parent = nullptr);

    // The records as the user's choices left them.
    const CanDevCfgModel& model() const { return m_model; }
    void CopyRecordsTo(tCFG_CAN_DEV (&devs)[3]) const;

private:
    void showModel();

    CanDevCfgModel m_model;
    bool m_online;
    QComboBox* m_device;
    QComboBox* m_rate[2];
};

// The "通信设备" command: runs the dialog modally over cfg's device records and copies them back when it
// ends with OK. True when they were copied back.
bool EditCanDevices(CAppCfg& cfg, bool online, QWidget* parent);
