#pragma once
// The J1939 DMx window "J1939-DMx报文解析". Its upper half shows the nodes the service collected and their
// DM1/DM2 messages as a tree, with trouble codes described from an SPN-FMI description file; its lower half
// edits the DMx message the service sends once a second and starts and stops sending. Every option is
// written into the configuration's J1939 settings as it changes.
//
// Closing the window stops sending and joins the service's transmit thread. Opening and closing it begin and
// end a running of the service, over which each node's refused transfers are reported once and counted.
#include <QDialog>

#include <cstdint>
#include <functional>
#include <vector>

#include "services/j1939dmxdata.h"
#include "services/spnfmicsv.h"

class CCanWorkspace;
class CExtSerCanJ1939DMx;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTreeWidget;

class CExtSerCanJ1939DmxNodeDlg : public QDialog {
    Q_OBJECT
public:
    // The list's columns.
    enum Column { kSpn, kFmi, kCm, kOc, kDesc, kColumns };
    // Messages about rejected description lines shown for one file at most; the rest are passed over.
    static constexpr size_t kMaxRejectedMessages = 10;

    CExtSerCanJ1939DmxNodeDlg(CCanWorkspace& ws, CExtSerCanJ1939DMx& service, QWidget* parent = nullptr);

    // "选择": a description file chosen and read; "不合理的SPN(%d)-FMI(%d) 的数值\r\n描述为%s" for each
    // rejected line; the description column follows.
    void OnChooseFile();
    // Reads a description file. One that cannot be read is refused with a message naming it and the reason;
    // the descriptions and the file shown stay as they were.
    void LoadDescriptions(const QString& path);
    // "更新": "请先开启监听。" while offline, then the tree rebuilt from a copy of the service's nodes.
    void OnRefresh();
    // "清空": the nodes emptied, then the tree rebuilt after 1100 ms.
    void OnClear();
    // "新增SPN-FMI", "编辑SPN-FMI" (or a double click), "移除SPN-FMI".
    void OnAddSpnFmi();
    void OnEditSpnFmi();
    void OnRemoveSpnFmi();
    // Adds or rewrites a row (the entry dialog's OK): false, after "已经添加此SPN-FMI", when another row has
    // the same SPN and FMI. row -1 appends.
    bool PutSpnFmi(int row, const tJ1939_DTC& dtc);
    // "开始发送" and "停止发送".
    void OnStartTx();
    void OnStopTx();
    // Stops sending and joins the transmit thread before the dialog ends; the counts of refused transfers
    // are reported.
    void done(int result) override;

    // The rebuilt tree's texts, depth first (two blanks of indent per level), for tests.
    QStringList TreeTexts() const;
    // The codes of the list's rows, in order.
    std::vector<tJ1939_DTC> RowDtcs() const;
    // The SPN-FMI entry dialog runs through this hook (tests answer it): true and `dtc` set on OK.
    std::function<bool(tJ1939_DTC& dtc)> runEntryDialog;

    QComboBox* versionCombo() const { return m_version; }
    QLineEdit* fileEdit() const { return m_file; }
    QTreeWidget* tree() const { return m_tree; }
    QComboBox* dmxCombo() const { return m_dmx; }
    QLineEdit* priorityEdit() const { return m_priority; }
    QComboBox* edpCombo() const { return m_edp; }
    QComboBox* dpCombo() const { return m_dp; }
    QLineEdit* daEdit() const { return m_da; }
    QLineEdit* saEdit() const { return m_sa; }
    QLineEdit* lampEdit() const { return m_lamp; }
    QComboBox* chanCombo() const { return m_chan; }
    QTableWidget* list() const { return m_list; }
    QPushButton* startButton() const { return m_start; }
    QPushButton* stopButton() const { return m_stop; }

private:
    void buildLayout();
    void loadFromConfig();
    void refreshTree();
    void setRow(int row, const tJ1939_DTC& dtc);
    void updateDescriptions();
    void storeRows();
    int selectedRow() const;
    int rowOfKey(uint32_t key, int except) const;
    uint8_t currentVersion() const;
    void setSendingControls(bool sending);

    CCanWorkspace& m_ws;
    CExtSerCanJ1939DMx& m_service;
    SpnFmiDescMap m_descMap;

    QComboBox* m_version;
    QLineEdit* m_file;
    QPushButton* m_choose;
    QTreeWidget* m_tree;
    QPushButton* m_refresh;
    QPushButton* m_clear;
    QComboBox* m_dmx;
    QLineEdit* m_priority;
    QComboBox* m_edp;
    QComboBox* m_dp;
    QLineEdit* m_da;
    QLineEdit* m_sa;
    QLineEdit* m_lamp;
    QComboBox* m_chan;
    QTableWidget* m_list;
    QPushButton* m_add;
    QPushButton* m_edit;
    QPushButton* m_remove;
    QPushButton* m_start;
    QPushButton* m_stop;
};
