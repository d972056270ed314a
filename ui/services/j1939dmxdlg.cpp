#include "ui/services/j1939dmxdlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdio>

#include "app/canworkspace.h"
#include "platform/numparse.h"
#include "platform/qt/prompt.h"
#include "services/j1939dmx.h"
#include "ui/services/j1939spnfmidlg.h"
#include "ui/services/svcfilechoose.h"

namespace {

constexpr int kRefreshDelayMs = 1100;

QString fmt(const char* pattern, unsigned a) {
    char text[32];
    std::snprintf(text, sizeof text, pattern, a);
    return QString::fromLatin1(text);
}

QComboBox* dropList(QWidget* parent, const QStringList& items) {
    auto* combo = new QComboBox(parent);
    combo->addItems(items);
    return combo;
}

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

CExtSerCanJ1939DmxNodeDlg::CExtSerCanJ1939DmxNodeDlg(CCanWorkspace& ws, CExtSerCanJ1939DMx& service,
                                                     QWidget* parent)
    : QDialog(parent), m_ws(ws), m_service(service) {
    setWindowTitle(QStringLiteral("J1939-DMx报文解析"));
    // The service runs while its window is open: each node's refused transfers are reported once per opening.
    m_service.StartRefusalReports();
    runEntryDialog = [this](tJ1939_DTC& dtc) {
        CExtSerCanJ1939DmxSpnFmiDlg dlg(this);
        dlg.SetDtc(dtc);
        if (dlg.exec() != QDialog::Accepted) return false;
        dtc = dlg.m_Dtc;
        return true;
    };
    buildLayout();
    loadFromConfig();
}

void CExtSerCanJ1939DmxNodeDlg::buildLayout() {
    m_version = dropList(this, {"1", "2", "3", "4"});
    m_file = new QLineEdit(this);
    m_file->setReadOnly(true);
    m_choose = new QPushButton(QStringLiteral("选择"), this);
    m_tree = new QTreeWidget(this);
    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(true);
    m_refresh = new QPushButton(QStringLiteral("更新"), this);
    m_clear = new QPushButton(QStringLiteral("清空"), this);
    m_dmx = new QComboBox(this);
    m_priority = new QLineEdit(this);
    m_edp = dropList(this, {"0", "1"});
    m_dp = dropList(this, {"0", "1"});
    m_da = new QLineEdit(this);
    m_sa = new QLineEdit(this);
    m_lamp = new QLineEdit(this);
    m_chan = dropList(this, {"0", "1"});
    m_list = new QTableWidget(0, kColumns, this);
    m_list->setHorizontalHeaderLabels({"SPN[DEC]", "FMI[DEC]", "CM", "OC", QStringLiteral("描述")});
    const int widths[kColumns] = {100, 100, 50, 50, 350};
    for (int c = 0; c < kColumns; ++c) m_list->setColumnWidth(c, widths[c]);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setShowGrid(true);
    m_list->verticalHeader()->setVisible(false);
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_add = new QPushButton(QStringLiteral("新增SPN-FMI"), this);
    m_edit = new QPushButton(QStringLiteral("编辑SPN-FMI"), this);
    m_remove = new QPushButton(QStringLiteral("移除SPN-FMI"), this);
    m_start = new QPushButton(QStringLiteral("开始发送"), this);
    m_stop = new QPushButton(QStringLiteral("停止发送"), this);
    for (QPushButton* b : {m_choose, m_refresh, m_clear, m_add, m_edit, m_remove, m_start, m_stop})
        b->setAutoDefault(false);

    auto* top = new QGridLayout;
    top->addWidget(new QLabel(QStringLiteral("J1939 Frame Format Version："), this), 0, 0);
    top->addWidget(m_version, 0, 1);
    top->addWidget(new QLabel(QStringLiteral("J1939 SPN-FMI 解析文件（*csv）："), this), 1, 0);
    top->addWidget(m_file, 1, 1, 1, 3);
    top->addWidget(m_choose, 1, 4);
    top->setColumnStretch(3, 1);

    auto* rx = new QGroupBox(QStringLiteral("RX DMx Node"), this);
    auto* rxLayout = new QVBoxLayout(rx);
    rxLayout->addWidget(m_tree, 1);
    auto* rxButtons = new QHBoxLayout;
    rxButtons->addStretch(1);
    rxButtons->addWidget(m_refresh);
    rxButtons->addWidget(m_clear);
    rxLayout->addLayout(rxButtons);

    auto* tx = new QGroupBox(QStringLiteral("TX DMx Node"), this);
    auto* txLayout = new QVBoxLayout(tx);
    auto* options = new QGridLayout;
    const struct {
        const char* label;
        QWidget* control;
    } fields[] = {{"DMx类型：", m_dmx},
                  {"Priority：", m_priority},
                  {"Extended Data Page：", m_edp},
                  {"Data Page：", m_dp},
                  {"Destination Address [HEX]：", m_da},
                  {"Source Address [HEX]：", m_sa},
                  {"Lamp Status [HEX]：", m_lamp},
                  {"CAN Channel：", m_chan}};
    for (int i = 0; i < 8; ++i) {
        options->addWidget(new QLabel(QString::fromUtf8(fields[i].label), this), i / 2, (i % 2) * 2,
                           Qt::AlignRight);
        options->addWidget(fields[i].control, i / 2, (i % 2) * 2 + 1);
    }
    txLayout->addLayout(options);
    txLayout->addWidget(m_list, 1);
    auto* txButtons = new QHBoxLayout;
    for (QPushButton* b : {m_add, m_edit, m_remove}) txButtons->addWidget(b);
    txButtons->addStretch(1);
    txButtons->addWidget(m_start);
    txButtons->addWidget(m_stop);
    txLayout->addLayout(txButtons);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(rx, 1);
    layout->addWidget(tx, 1);
    resize(760, 820);

    connect(m_choose, &QPushButton::clicked, this, &CExtSerCanJ1939DmxNodeDlg::OnChooseFile);
    connect(m_refresh, &QPushButton::clicked, this, &CExtSerCanJ1939DmxNodeDlg::OnRefresh);
    connect(m_clear, &QPushButton::clicked, this, &CExtSerCanJ1939DmxNodeDlg::OnClear);
    connect(m_add, &QPushButton::clicked, this, &CExtSerCanJ1939DmxNodeDlg::OnAddSpnFmi);
    connect(m_edit, &QPushButton::clicked, this, &CExtSerCanJ1939DmxNodeDlg::OnEditSpnFmi);
    connect(m_list, &QTableWidget::cellDoubleClicked, this, &CExtSerCanJ1939DmxNodeDlg::OnEditSpnFmi);
    connect(m_remove, &QPushButton::clicked, this, &CExtSerCanJ1939DmxNodeDlg::OnRemoveSpnFmi);
    connect(m_start, &QPushButton::clicked, this, &CExtSerCanJ1939DmxNodeDlg::OnStartTx);
    connect(m_stop, &QPushButton::clicked, this, &CExtSerCanJ1939DmxNodeDlg::OnStopTx);

    // Every option goes into the configuration as it changes.
    tCFG_SET_EXT_J1939DMX_SERVICE& set = m_ws.Cfg().J1939;
    connect(m_version, &QComboBox::activated, this,
            [this, &set] { set.J1939FrameFormatVersion = currentVersion(); });
    connect(m_dmx, &QComboBox::activated, this, [this, &set] {
        if (m_dmx->currentIndex() >= 0) set.DmxPgnVal = static_cast<uint16_t>(m_dmx->currentData().toUInt());
    });
    auto number = [](QComboBox* c) {
        return static_cast<uint8_t>(vex::ParseInt32(c->currentText().toStdString()));
    };
    connect(m_edp, &QComboBox::activated, this, [this, &set, number] { set.PgnEdp = number(m_edp); });
    connect(m_dp, &QComboBox::activated, this, [this, &set, number] { set.PgnDp = number(m_dp); });
    connect(m_chan, &QComboBox::activated, this, [this, &set, number] { set.TxCanChan = number(m_chan); });
    connect(m_priority, &QLineEdit::textEdited, this, [&set](const QString& text) {
        set.PgnP = static_cast<uint8_t>(vex::ParseInt32(text.toStdString()) & 0x7);
    });
    auto hexByte = [](const QString& text) {
        return static_cast<uint8_t>(vex::ParseHexUInt32(text.toStdString()));
    };
    connect(m_da, &QLineEdit::textEdited, this,
            [&set, hexByte](const QString& t) { set.PgnDa = hexByte(t); });
    connect(m_sa, &QLineEdit::textEdited, this,
            [&set, hexByte](const QString& t) { set.PgnSa = hexByte(t); });
    connect(m_lamp, &QLineEdit::textEdited, this,
            [&set, hexByte](const QString& t) { set.LampStatus = hexByte(t); });
}

void CExtSerCanJ1939DmxNodeDlg::loadFromConfig() {
    const tCFG_SET_EXT_J1939DMX_SERVICE& set = m_ws.Cfg().J1939;
    m_version->setCurrentIndex(set.J1939FrameFormatVersion >= 1 && set.J1939FrameFormatVersion <= 4
                                   ? set.J1939FrameFormatVersion - 1
                                   : -1);
    m_dmx->clear();
    for (const auto& [pgn, descr] : m_service.DmxTable()) {
        m_dmx->addItem(QStringLiteral("%1 %2").arg(qs(descr.name), fmt("%04X", pgn)),
                       QVariant::fromValue<uint>(pgn));
        if (pgn == set.DmxPgnVal) m_dmx->setCurrentIndex(m_dmx->count() - 1);
    }
    if (m_dmx->findData(QVariant::fromValue<uint>(set.DmxPgnVal)) < 0) m_dmx->setCurrentIndex(-1);
    m_edp->setCurrentIndex(set.PgnEdp <= 1 ? set.PgnEdp : -1);
    m_dp->setCurrentIndex(set.PgnDp <= 1 ? set.PgnDp : -1);
    m_chan->setCurrentIndex(set.TxCanChan <= 1 ? set.TxCanChan : -1);
    m_priority->setText(QString::number(set.PgnP));
    m_da->setText(fmt("%02X", set.PgnDa));
    m_sa->setText(fmt("%02X", set.PgnSa));
    m_lamp->setText(fmt("%02X", set.LampStatus));
    m_list->setRowCount(0);
    for (const tCFG_SET_EXT_J1939DMX_TX_SPN_FMI& e : set.SpnFmiArray) {
        const int row = m_list->rowCount();
        m_list->insertRow(row);
        setRow(row, {e.Spn & 0x7FFFF, static_cast<uint8_t>(e.Fmi & 0x1F), e.Cm, e.Oc});
        m_list->item(row, kDesc)->setText({});
    }
    setSendingControls(false);
}

uint8_t CExtSerCanJ1939DmxNodeDlg::currentVersion() const {
    return static_cast<uint8_t>(vex::ParseInt32(m_version->currentText().toStdString()));
}

void CExtSerCanJ1939DmxNodeDlg::setRow(int row, const tJ1939_DTC& dtc) {
    const QString texts[kColumns] = {QString::number(dtc.Spn),
                                     QString::number(dtc.Fmi),
                                     QString::number(dtc.Cm),
                                     QString::number(dtc.Oc),
                                     {}};
    for (int c = 0; c < kColumns; ++c) {
        auto* item = new QTableWidgetItem(texts[c]);
        item->setTextAlignment(c == kDesc ? Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter)
                                          : Qt::Alignment(Qt::AlignCenter));
        m_list->setItem(row, c, item);
    }
    const uint32_t key = SpnFmiKey(dtc.Spn, dtc.Fmi);
    m_list->item(row, kSpn)->setData(Qt::UserRole, QVariant::fromValue<uint>(key));
    const auto it = m_descMap.find(key);
    m_list->item(row, kDesc)->setText(it == m_descMap.end() ? QString() : qs(it->second.desc));
}

std::vector<tJ1939_DTC> CExtSerCanJ1939DmxNodeDlg::RowDtcs() const {
    std::vector<tJ1939_DTC> out;
    for (int row = 0; row < m_list->rowCount(); ++row) {
        const uint32_t key = m_list->item(row, kSpn)->data(Qt::UserRole).toUInt();
        tJ1939_DTC dtc;
        dtc.Spn = key >> 8;
        dtc.Fmi = static_cast<uint8_t>(key & 0xFF);
        dtc.Cm = static_cast<uint8_t>(vex::ParseInt32(m_list->item(row, kCm)->text().toStdString()));
        dtc.Oc = static_cast<uint8_t>(vex::ParseInt32(m_list->item(row, kOc)->text().toStdString()));
        out.push_back(dtc);
    }
    return out;
}

void CExtSerCanJ1939DmxNodeDlg::storeRows() {
    std::vector<tCFG_SET_EXT_J1939DMX_TX_SPN_FMI>& entries = m_ws.Cfg().J1939.SpnFmiArray;
    entries.clear();
    for (const tJ1939_DTC& d : RowDtcs()) entries.push_back({d.Spn, d.Fmi, d.Cm, d.Oc});
}

int CExtSerCanJ1939DmxNodeDlg::selectedRow() const {
    const QList<QTableWidgetItem*> items = m_list->selectedItems();
    return items.isEmpty() ? -1 : items.front()->row();
}

int CExtSerCanJ1939DmxNodeDlg::rowOfKey(uint32_t key, int except) const {
    for (int row = 0; row < m_list->rowCount(); ++row)
        if (row != except && m_list->item(row, kSpn)->data(Qt::UserRole).toUInt() == key) return row;
    return -1;
}

void CExtSerCanJ1939DmxNodeDlg::updateDescriptions() {
    for (int row = 0; row < m_list->rowCount(); ++row) {
        const auto it = m_descMap.find(m_list->item(row, kSpn)->data(Qt::UserRole).toUInt());
        m_list->item(row, kDesc)->setText(it == m_descMap.end() ? QString() : qs(it->second.desc));
    }
}

void CExtSerCanJ1939DmxNodeDlg::OnChooseFile() {
    const QString path = AskServiceOpenFile(
        this, {QStringLiteral("csv files(*.csv);;所有文件(*)"), QStringLiteral("csv"),
               QStringLiteral("载入SPN-FMI解析文件名称为空。"), QStringLiteral("载入文件")});
    if (path.isEmpty()) return;
    LoadDescriptions(path);
}

void CExtSerCanJ1939DmxNodeDlg::LoadDescriptions(const QString& path) {
    std::vector<SpnFmiRejected> rejected;
    std::string why;
    // A file that cannot be read (missing, a device or FIFO, beyond the size bound) is named with the reason,
    // and the descriptions and file shown stay those loaded before.
    if (!LoadSpnFmiFile(path.toStdString(), m_descMap, rejected, &why)) {
        vex::CurrentPrompt().message(this,
                                     QStringLiteral("SPN-FMI解析文件没有载入：%1：%2").arg(path, qs(why)),
                                     QStringLiteral("载入文件"), vex::MsgButtons::Ok, vex::MsgIcon::Warning);
        return;
    }
    m_file->setText(path);
    // A file of many bad lines must not bury the user under message boxes.
    for (size_t i = 0; i < rejected.size() && i < kMaxRejectedMessages; ++i)
        vex::ShowMessage(this, qs(SpnFmiRejectedText(rejected[i])));
    updateDescriptions();
}

void CExtSerCanJ1939DmxNodeDlg::OnRefresh() {
    if (!m_ws.Sender().IsOnline()) vex::ShowMessage(this, QStringLiteral("请先开启监听。"));
    refreshTree();
}

void CExtSerCanJ1939DmxNodeDlg::refreshTree() {
    const uint8_t version = currentVersion();
    m_ws.Cfg().J1939.J1939FrameFormatVersion = version;
    J1939DmxNodeMap nodes;
    m_service.GetNodeMap(nodes);
    m_tree->clear();
    const J1939DmxTable& table = m_service.DmxTable();
    for (const auto& [key, node] : nodes) {
        auto* nodeItem = new QTreeWidgetItem(m_tree);
        char text[64];
        std::snprintf(text, sizeof text, "Node[%02X](%d)", node.SA, node.Chan);
        nodeItem->setText(0, QString::fromLatin1(text));
        for (const auto& [pgn, msg] : node.Messages) {
            auto* msgItem = new QTreeWidgetItem(nodeItem);
            const auto t = table.find(msg.PGN);
            const std::string name = t == table.end() ? std::string("DM?") : t->second.name;
            std::snprintf(text, sizeof text, " [%04X] Lamp Status[%02X]", msg.PGN, msg.Data[0]);
            msgItem->setText(0, qs(name) + QString::fromLatin1(text));
            if (msg.BytesReceived < 2) continue;
            const size_t count = msg.TotalSize >= 2 ? (msg.TotalSize - 2u) / 4u : 0;
            // Without a layout to read them by, the refresh ends at the first message that has codes.
            if (count > 0 && (version < 1 || version > 4)) {
                m_tree->expandAll();
                return;
            }
            for (const tJ1939_DTC& dtc : msg.Dtcs(version)) {
                const auto d = m_descMap.find(SpnFmiKey(dtc.Spn, dtc.Fmi));
                auto* dtcItem = new QTreeWidgetItem(msgItem);
                dtcItem->setText(0, QStringLiteral("SPN-FMI : %1-%2 %3")
                                        .arg(dtc.Spn)
                                        .arg(dtc.Fmi)
                                        .arg(d == m_descMap.end() ? QString() : qs(d->second.desc)));
            }
        }
    }
    m_tree->expandAll();
}

QStringList CExtSerCanJ1939DmxNodeDlg::TreeTexts() const {
    QStringList out;
    std::function<void(QTreeWidgetItem*, int)> walk = [&](QTreeWidgetItem* item, int depth) {
        out << QString(depth * 2, QLatin1Char(' ')) + item->text(0);
        for (int i = 0; i < item->childCount(); ++i) walk(item->child(i), depth + 1);
    };
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) walk(m_tree->topLevelItem(i), 0);
    return out;
}

void CExtSerCanJ1939DmxNodeDlg::OnClear() {
    m_service.ClearNodes();
    // The GUI stays live while the receive thread settles; the tree follows afterwards.
    QTimer::singleShot(kRefreshDelayMs, this, [this] { refreshTree(); });
}

bool CExtSerCanJ1939DmxNodeDlg::PutSpnFmi(int row, const tJ1939_DTC& dtc) {
    if (rowOfKey(SpnFmiKey(dtc.Spn, dtc.Fmi), row) >= 0) {
        vex::ShowMessage(this, QStringLiteral("已经添加此SPN-FMI"));
        return false;
    }
    if (row < 0) {
        row = m_list->rowCount();
        m_list->insertRow(row);
        setRow(row, dtc);
        m_ws.Cfg().J1939.SpnFmiArray.push_back({dtc.Spn, dtc.Fmi, dtc.Cm, dtc.Oc});
        return true;
    }
    setRow(row, dtc);
    storeRows();
    return true;
}

void CExtSerCanJ1939DmxNodeDlg::OnAddSpnFmi() {
    tJ1939_DTC dtc;
    if (runEntryDialog(dtc)) PutSpnFmi(-1, dtc);
}

void CExtSerCanJ1939DmxNodeDlg::OnEditSpnFmi() {
    const int row = selectedRow();
    if (row < 0) {
        vex::ShowMessage(this, QStringLiteral("请选择其中一项进行操作。"));
        return;
    }
    tJ1939_DTC dtc = RowDtcs().at(static_cast<size_t>(row));
    if (runEntryDialog(dtc)) PutSpnFmi(row, dtc);
}

void CExtSerCanJ1939DmxNodeDlg::OnRemoveSpnFmi() {
    const int row = selectedRow();
    if (row < 0) {
        vex::ShowMessage(this, QStringLiteral("请选择其中一项进行操作。"));
        return;
    }
    m_list->removeRow(row);
    storeRows();
}

void CExtSerCanJ1939DmxNodeDlg::OnStartTx() {
    const uint8_t version = currentVersion();
    tCFG_SET_EXT_J1939DMX_SERVICE& set = m_ws.Cfg().J1939;
    set.J1939FrameFormatVersion = version;
    tEXT_J1939DMX_TX_DATA tx;
    const std::string refusal = BuildJ1939DmxTxData(set, version, RowDtcs(), tx);
    if (refusal == kJ1939NoVersion) return;
    if (!refusal.empty()) {
        vex::ShowMessage(this, qs(refusal));
        return;
    }
    if (!m_ws.Sender().IsOnline()) {
        vex::ShowMessage(this, QStringLiteral("请先开启监听。"));
        return;
    }
    if (!m_service.StartTx(tx)) {
        vex::ShowMessage(this, QStringLiteral("启动发送DMx数据失败。"));
        return;
    }
    setSendingControls(true);
    OnClear();
}

void CExtSerCanJ1939DmxNodeDlg::OnStopTx() {
    m_service.StopTx();
    setSendingControls(false);
}

void CExtSerCanJ1939DmxNodeDlg::setSendingControls(bool sending) {
    for (QWidget* w : std::initializer_list<QWidget*>{m_choose, m_version, m_dmx, m_add, m_edit, m_remove,
                                                      m_start, m_edp, m_dp, m_chan})
        w->setEnabled(!sending);
    for (QLineEdit* e : {m_priority, m_da, m_sa, m_lamp}) e->setReadOnly(sending);
    m_stop->setEnabled(sending);
}

void CExtSerCanJ1939DmxNodeDlg::done(int result) {
    m_service.StopTx();
    m_service.EndRefusalReports();
    QDialog::done(result);
}
