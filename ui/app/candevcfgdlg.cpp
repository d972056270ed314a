#include "ui/app/candevcfgdlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/appcfg.h"

namespace {

QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

CCanDevCfgDlg::CCanDevCfgDlg(const tCFG_CAN_DEV (&devs)[3], bool online, QWidget* parent)
    : QDialog(parent), m_model(devs), m_online(online) {
    setWindowTitle(QStringLiteral("CAN设备配置"));

    m_device = new QComboBox(this);
    m_device->setObjectName("cmbDevice");
    for (const std::string& name : m_model.DeviceNames()) m_device->addItem(QString::fromStdString(name));

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("设备名称："), this), 0, 0);
    grid->addWidget(m_device, 0, 1);
    const char* labels[2] = {"通道 0 [9-H,5-L]：", "通道 1 [7-H,2-L]："};
    for (int chan = 0; chan < 2; ++chan) {
        QComboBox* rate = m_rate[chan] = new QComboBox(this);
        rate->setObjectName(chan == 0 ? "cmbChan0Baud" : "cmbChan1Baud");
        for (const CanBaudEntry& e : kCanBaudTable) rate->addItem(qs(e.Text));
        // The detail buttons are there and do nothing.
        auto* detail = new QPushButton(QStringLiteral("详细设置"), this);
        detail->setObjectName(chan == 0 ? "btnChan0Detail" : "btnChan1Detail");
        detail->setAutoDefault(false);
        grid->addWidget(new QLabel(QString::fromUtf8(labels[chan]), this), chan + 1, 0);
        grid->addWidget(rate, chan + 1, 1);
        grid->addWidget(detail, chan + 1, 2);
        connect(rate, &QComboBox::activated, this, [this, chan, rate] {
            m_model.SelectRate(chan, rate->currentText().toStdString());
            showModel();
        });
    }
    m_device->setMinimumWidth(m_rate[0]->sizeHint().width() + 40);
    grid->setColumnStretch(1, 1);

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    ok->setObjectName("btnOk");
    cancel->setObjectName("btnCancel");
    ok->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addSpacing(8);
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_device, &QComboBox::activated, this, [this] {
        m_model.SelectDevice(m_device->currentText().toStdString());
        showModel();
    });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    showModel();
}

// Selections and enabling as the model has them; while online nothing can be chosen.
void CCanDevCfgDlg::showModel() {
    m_device->setCurrentIndex(m_model.Shown());
    const CanChanEnable enable = m_model.Enabled();
    const bool enabled[2] = {enable.Chan0, enable.Chan1};
    for (int chan = 0; chan < 2; ++chan) {
        m_rate[chan]->setCurrentText(qs(m_model.RateText(chan)));
        m_rate[chan]->setEnabled(enabled[chan] && !m_online);
    }
    m_device->setEnabled(!m_online);
}

void CCanDevCfgDlg::CopyRecordsTo(tCFG_CAN_DEV (&devs)[3]) const {
    for (size_t i = 0; i < 3; ++i) devs[i] = m_model.Dev(i);
}

bool EditCanDevices(CAppCfg& cfg, bool online, QWidget* parent) {
    CCanDevCfgDlg dlg(cfg.CanDev, online, parent);
    if (dlg.exec() != QDialog::Accepted) return false;
    dlg.CopyRecordsTo(cfg.CanDev);
    return true;
}
