#include "ui/candb/dbeditlist.h"

#include <QHeaderView>
#include <QMenu>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <unordered_map>

#include "platform/textcodec.h"
#include "platform/util/utils.h"
#include "ui/candb/dbdialogs.h"
#include "ui/candb/dbeditcheck.h"
#include "ui/candb/dbeditrelay.h"
#include "ui/candb/nodekeys.h"
#include "ui/candb/panecommands.h"
#include "ui/candb/signaleditdlg.h"
#include "ui/candb/textrows.h"

using namespace candbui;

namespace candbui {

std::vector<size_t> MsgListSortOrder(const std::vector<uint32_t>& rowKeys, const tCAN_DATABASE& db,
                                     int column, int direction) {
    std::vector<size_t> order(rowKeys.size());
    std::iota(order.begin(), order.end(), size_t{0});
    if (column != 0 && column != 1) return order;
    if (column == 1) {
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            const uint32_t ia = rowKeys[a] & 0x1FFFFFFFu;
            const uint32_t ib = rowKeys[b] & 0x1FFFFFFFu;
            return direction > 0 ? ia < ib : ia > ib;
        });
        return order;
    }
    // The name each key stands for: the last message of that key.
    std::unordered_map<uint32_t, const std::string*> names;
    names.reserve(db.Messages.size());
    for (const CCanMsg& m : db.Messages) names[MsgKey(m)] = &m.Name;
    std::vector<std::string> sortKeys(rowKeys.size());
    for (size_t i = 0; i < rowKeys.size(); ++i) {
        const auto it = names.find(rowKeys[i]);
        if (it == names.end()) continue;
        std::string lower = *it->second;
        for (char& c : lower)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        sortKeys[i] = vex::Utf8ToGbk(lower);
    }
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const int cmp = sortKeys[a].compare(sortKeys[b]);
        return direction > 0 ? cmp < 0 : cmp > 0;
    });
    return order;
}

}  // namespace candbui

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QString num(double v) {
    return qs(DoubleToStr(v));
}

QStringList msgCells(const CCanMsg& m) {
    char id[16];
    std::snprintf(id, sizeof id, m.Ext != 0 ? "%08X" : "%03X", m.id);
    return {qs(m.Name), QString::fromLatin1(id), m.Ext != 0 ? QStringLiteral("ext") : QStringLiteral("std"),
            m.Rmt != 0 ? QStringLiteral("rmt") : QStringLiteral("dat"), QString::number(m.DL)};
}

QStringList signalCells(const CCanSignal& s) {
    return {qs(s.Name),
            QStringLiteral("%1%2").arg(s.Sign != 0 ? "INT" : "UINT").arg(s.BitLen),
            s.ByteFmtIntel != 0 ? QStringLiteral("INTEL") : QStringLiteral("MOTO"),
            QString::number(s.BitOffset),
            QStringLiteral("(%1,%2)").arg(num(s.ValFactor), num(s.ValOffset)),
            QStringLiteral("[%1,%2]").arg(num(s.PhyMin), num(s.PhyMax)),
            qs(s.Unit)};
}

const QStringList kMsgColumns = {QStringLiteral("Name"), QStringLiteral("ID"), QStringLiteral("ID类型"),
                                 QStringLiteral("帧类型"), QStringLiteral("DL")};
const std::vector<int> kMsgWidths = {200, 100, 120, 120, 80};
const QStringList kSignalColumns = {QStringLiteral("Name"),     QStringLiteral("数据类型"),
                                    QStringLiteral("字节格式"), QStringLiteral("位偏移"),
                                    QStringLiteral("转换参数"), QStringLiteral("数值范围"),
                                    QStringLiteral("单位")};
const std::vector<int> kSignalWidths = {200, 100, 120, 120, 180, 180, 80};

const PaneCommand<CCanDbEditListView> kCommands[] = {
    {CCanDbEditListView::ID_NEW_MSG, &CCanDbEditListView::OnNewMsg},
    {CCanDbEditListView::ID_EDIT_MSG, &CCanDbEditListView::OnEditMsg},
    {CCanDbEditListView::ID_DELETE_MSG, &CCanDbEditListView::OnDeleteMsg},
    {CCanDbEditListView::ID_NEW_SIGNAL, &CCanDbEditListView::OnNewSignal},
    {CCanDbEditListView::ID_EDIT_SIGNAL, &CCanDbEditListView::OnEditSignal},
    {CCanDbEditListView::ID_DELETE_SIGNAL, &CCanDbEditListView::OnDeleteSignal},
    {CCanDbEditListView::ID_NEW_ENUM, &CCanDbEditListView::OnNewEnum},
    {CCanDbEditListView::ID_EDIT_ENUM, &CCanDbEditListView::OnEditEnum},
    {CCanDbEditListView::ID_DELETE_ENUM, &CCanDbEditListView::OnDeleteEnum},
};

enum MenuPos { kMsgUnsel, kMsgSel, kSigUnsel, kSigSel, kEnumUnsel, kEnumSel, kSigEdit, kEnumEdit };

}  // namespace

CCanDbEditListView::CCanDbEditListView(QWidget* parent) : CReportList(parent) {
    setObjectName("dbList");
    m_model = new CTextRowsModel({}, this);
    setModel(m_model);
    m_menus = {addMenu("LIST_MSG_ITEM_UNSEL", {ID_NEW_MSG}),
               addMenu("LIST_MSG_ITEM_SEL", {ID_NEW_MSG, ID_EDIT_MSG, ID_DELETE_MSG}),
               addMenu("LIST_SIGNAL_ITEM_UNSEL", {ID_NEW_SIGNAL}),
               addMenu("LIST_SIGNAL_ITEM_SEL", {ID_NEW_SIGNAL, ID_EDIT_SIGNAL, ID_DELETE_SIGNAL}),
               addMenu("LIST_ENUM_ITEM_UNSEL", {ID_NEW_ENUM}),
               addMenu("LIST_ENUM_ITEM_SEL", {ID_NEW_ENUM, ID_EDIT_ENUM, ID_DELETE_ENUM}),
               addMenu("LIST_SIG_EDIT", {ID_EDIT_SIGNAL, ID_DELETE_SIGNAL}),
               addMenu("LIST_ENUM_EDIT", {ID_EDIT_ENUM, ID_DELETE_ENUM})};
    connect(this, &CReportList::rowClicked, this, &CCanDbEditListView::OnClick);
    connect(this, &CReportList::rowDoubleClicked, this, &CCanDbEditListView::OnDblClick);
    connect(this, &CReportList::rowRightClicked, this, &CCanDbEditListView::OnRClick);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &CCanDbEditListView::OnColumnClick);
}

QMenu* CCanDbEditListView::addMenu(const char* title, std::initializer_list<uint32_t> ids) {
    auto* menu = new QMenu(QString::fromLatin1(title), this);
    menu->setObjectName(QString::fromLatin1(title));
    for (uint32_t id : ids) {
        const bool isNew = id == ID_NEW_MSG || id == ID_NEW_SIGNAL || id == ID_NEW_ENUM;
        const bool isEdit = id == ID_EDIT_MSG || id == ID_EDIT_SIGNAL || id == ID_EDIT_ENUM;
        QAction* a = menu->addAction(isNew    ? QStringLiteral("新增")
                                     : isEdit ? QStringLiteral("编辑")
                                              : QStringLiteral("删除"));
        a->setData(id);
        connect(a, &QAction::triggered, this, [this, id] { RunPaneCommand(*this, id, kCommands); });
    }
    return menu;
}

void CCanDbEditListView::updateTree(uint8_t mode, uint32_t oldKey, const QString& oldText, uint32_t newKey,
                                    const QString& newText) {
    if (Relay != nullptr) Relay->UpdateTreeNode(mode, oldKey, oldText, newKey, newText);
}

bool CCanDbEditListView::sameColumns(uint8_t set) const {
    auto group = [](uint8_t s) { return s == 1 ? 1 : s >= 2 && s <= 5 ? 2 : s >= 6 && s <= 7 ? 3 : 0; };
    return group(set) == group(m_columnSet) && m_columnSet != 0;
}

void CCanDbEditListView::setLayout(uint8_t set) {
    if (!sameColumns(set)) {
        if (set == 1) {
            m_model->SetHeaders(kMsgColumns);
            for (size_t c = 0; c < kMsgWidths.size(); ++c) setColumnWidth(static_cast<int>(c), kMsgWidths[c]);
        } else if (set <= 5) {
            m_model->SetHeaders(kSignalColumns);
            for (size_t c = 0; c < kSignalWidths.size(); ++c)
                setColumnWidth(static_cast<int>(c), kSignalWidths[c]);
        } else {
            m_model->SetHeaders({QStringLiteral("Name")});
            setColumnWidth(0, 400);
        }
    }
    m_columnSet = set;
}

void CCanDbEditListView::ShowNode(uint32_t key, const QString& text) {
    m_nodeKey = key;
    m_nodeText = text;
    if (Db == nullptr) return;
    uint8_t set = 0;
    if (IsMsgKey(key))
        set = 2;
    else if (IsMsgSignalKey(key))
        set = 3;
    else if (key == kKeyMsgFolder)
        set = 1;
    else if (key == kKeySigFolder)
        set = 4;
    else if (key == kKeyFreeSig)
        set = 5;
    else if (key == kKeyEnumFolder)
        set = 6;
    else if (key == kKeyEnum)
        set = 7;
    if (set == 0) return;

    setLayout(set);
    std::vector<CTextRowsModel::Row> rows;
    const std::string name = text.toStdString();
    const uint32_t id = key & 0x1FFFFFFFu;
    const uint8_t ext = (key & 0x20000000u) != 0 ? 1 : 0;
    auto matches = [&](const CCanMsg& m) { return m.id == id && (m.Ext != 0 ? 1 : 0) == ext; };
    switch (set) {
        case 1:
            rows.reserve(Db->Messages.size());
            for (const CCanMsg& m : Db->Messages) rows.push_back({msgCells(m), MsgKey(m)});
            break;
        case 2:
            for (const CCanMsg& m : Db->Messages)
                if (matches(m))
                    for (size_t i = 0; i < m.Signals.size(); ++i)
                        rows.insert(rows.begin() + static_cast<ptrdiff_t>(std::min(i, rows.size())),
                                    {signalCells(m.Signals[i]), MsgSignalKey(key)});
            break;
        case 3:
            for (const CCanMsg& m : Db->Messages)
                if (matches(m))
                    for (const CCanSignal& s : m.Signals)
                        if (s.Name == name) rows.insert(rows.begin(), {signalCells(s), key});
            break;
        case 4:
            for (const CCanSignal& s : Db->FreeSigMsg.Signals) rows.push_back({signalCells(s), kKeyFreeSig});
            break;
        case 5:
            for (const CCanSignal& s : Db->FreeSigMsg.Signals)
                if (s.Name == name) rows.insert(rows.begin(), {signalCells(s), key});
            break;
        case 6:
            for (const tCAN_SIGNAL_ENUM& e : Db->Enums) rows.push_back({{qs(e.Name)}, kKeyEnum});
            break;
        case 7:
            rows.push_back({{text}, key});
            break;
        default:
            break;
    }
    m_model->SetRows(std::move(rows));
}

void CCanDbEditListView::OnClick(int row) {
    m_selRow = row;
}

void CCanDbEditListView::OnDblClick(int row) {
    m_selRow = row;
    if (row < 0 || row >= m_model->rowCount() || Db == nullptr) return;
    const uint32_t key = m_model->At(row).key;
    const QString text = m_model->Cell(row, 0);
    if (IsMsgKey(key))
        editMsgRow(row, key);
    else if (IsMsgSignalKey(key))
        editMsgSignalRow(row, key, text);
    else if (key == kKeyFreeSig)
        editFreeSignalRow(row, text);
    else if (key == kKeyEnum)
        editEnumRow(row, text);
}

void CCanDbEditListView::OnRClick(int row, const QPoint& globalPos) {
    m_selRow = row;
    const bool sel = row >= 0;
    int pos = -1;
    switch (m_columnSet) {
        case 1:
            pos = sel ? kMsgSel : kMsgUnsel;
            break;
        case 2:
        case 4:
            pos = sel ? kSigSel : kSigUnsel;
            break;
        case 3:
        case 5:
            pos = sel ? kSigEdit : -1;
            break;
        case 6:
            pos = sel ? kEnumSel : kEnumUnsel;
            break;
        case 7:
            pos = sel ? kEnumEdit : -1;
            break;
        default:
            break;
    }
    if (pos < 0) return;
    m_shownMenu = m_menus[static_cast<size_t>(pos)];
    m_shownMenu->popup(globalPos);
}

void CCanDbEditListView::OnColumnClick(int column) {
    m_sortCol = column;
    if (column >= 0 && m_columnSet == 1 && Db != nullptr) {
        std::vector<uint32_t> keys;
        keys.reserve(static_cast<size_t>(m_model->rowCount()));
        for (const CTextRowsModel::Row& r : m_model->Rows()) keys.push_back(r.key);
        m_model->Reorder(MsgListSortOrder(keys, *Db, column, m_sortDir));
    }
    m_sortDir = m_sortDir < 0 ? 1 : -1;
}

bool CCanDbEditListView::selValid() const {
    return Db != nullptr && m_selRow >= 0 && m_selRow < m_model->rowCount();
}

// ---- Messages ----

void CCanDbEditListView::editMsgRow(int row, uint32_t key) {
    const int m = FindMsgByKey(*Db, key);
    if (m < 0) return;
    CCanMsg msg = Db->Messages[static_cast<size_t>(m)];
    const QString oldText = m_model->Cell(row, 0);
    if (!CurrentDbDialogs().EditMsg(this, Db, kMsgEdit, {}, msg)) return;
    Db->Messages[static_cast<size_t>(m)] = msg;
    m_model->Set(row, {msgCells(msg), MsgKey(msg)});
    updateTree(kTreeEdit, key, oldText, MsgKey(msg), qs(MsgNodeText(msg)));
}

void CCanDbEditListView::OnNewMsg() {
    if (m_columnSet != 1 || Db == nullptr) return;
    CCanMsg msg;
    if (!CurrentDbDialogs().EditMsg(this, Db, kMsgNew, {}, msg)) return;
    Db->Messages.push_back(msg);
    m_model->Append({msgCells(msg), MsgKey(msg)});
    updateTree(kTreeAdd, 0, {}, MsgKey(msg), qs(MsgNodeText(msg)));
}

void CCanDbEditListView::OnEditMsg() {
    if (m_columnSet != 1 || !selValid()) return;
    editMsgRow(m_selRow, m_model->At(m_selRow).key);
}

void CCanDbEditListView::OnDeleteMsg() {
    if (m_columnSet != 1 || !selValid()) return;
    const uint32_t key = m_model->At(m_selRow).key;
    const QString text = m_model->Cell(m_selRow, 0);
    const int m = FindMsgByKey(*Db, key);
    if (m < 0) return;
    Db->Messages.erase(Db->Messages.begin() + m);
    m_model->Remove(m_selRow);
    m_selRow = -1;
    updateTree(kTreeDelete, key, text, key, text);
}

// ---- Signals ----

void CCanDbEditListView::editMsgSignalRow(int row, uint32_t key, const QString& text) {
    const int m = FindMsgByKey(*Db, key);
    if (m < 0) return;
    CCanMsg& msg = Db->Messages[static_cast<size_t>(m)];
    const int s = FindByName(msg.Signals, text.toStdString());
    if (s < 0) return;
    CCanSignal signal = msg.Signals[static_cast<size_t>(s)];
    if (!CurrentDbDialogs().EditSignal(this, Db, msg, signal)) return;
    msg.Signals[static_cast<size_t>(s)] = signal;
    m_model->Set(row, {signalCells(signal), key});
    updateTree(kTreeEdit, key, text, key, qs(signal.Name));
}

void CCanDbEditListView::editFreeSignalRow(int row, const QString& text) {
    const int s = FindByName(Db->FreeSigMsg.Signals, text.toStdString());
    if (s < 0) return;
    CCanSignal signal = Db->FreeSigMsg.Signals[static_cast<size_t>(s)];
    if (!CurrentDbDialogs().EditSignal(this, Db, Db->FreeSigMsg, signal)) return;
    Db->FreeSigMsg.Signals[static_cast<size_t>(s)] = signal;
    m_model->Set(row, {signalCells(signal), kKeyFreeSig});
    updateTree(kTreeEdit, kKeyFreeSig, text, kKeyFreeSig, qs(signal.Name));
}

void CCanDbEditListView::OnNewSignal() {
    if (m_columnSet < 2 || m_columnSet > 5 || Db == nullptr) return;
    CCanMsg* owner = nullptr;
    uint32_t rowKey = 0;
    if (IsMsgKey(m_nodeKey)) {
        const int m = FindMsgByKey(*Db, m_nodeKey);
        if (m < 0) return;
        owner = &Db->Messages[static_cast<size_t>(m)];
        rowKey = MsgSignalKey(m_nodeKey);
    } else if (m_nodeKey == kKeySigFolder) {
        owner = &Db->FreeSigMsg;
        rowKey = kKeyFreeSig;
    } else {
        return;
    }
    CCanSignal signal = CCanSignalEditDlg::DefaultSignal();
    if (!CurrentDbDialogs().EditSignal(this, Db, *owner, signal)) return;
    owner->Signals.push_back(signal);
    m_model->Append({signalCells(signal), rowKey});
    updateTree(kTreeAdd, 0, {}, rowKey, qs(signal.Name));
}

void CCanDbEditListView::OnEditSignal() {
    if (!selValid()) return;
    const uint32_t key = m_model->At(m_selRow).key;
    const QString text = m_model->Cell(m_selRow, 0);
    if (m_columnSet == 2 || m_columnSet == 3)
        editMsgSignalRow(m_selRow, key, text);
    else if (m_columnSet == 4 || m_columnSet == 5)
        editFreeSignalRow(m_selRow, text);
}

void CCanDbEditListView::OnDeleteSignal() {
    if (!selValid() || m_columnSet < 2 || m_columnSet > 5) return;
    const uint32_t key = m_model->At(m_selRow).key;
    const QString text = m_model->Cell(m_selRow, 0);
    const std::string name = text.toStdString();
    bool removed = false;
    if (m_nodeKey == kKeySigFolder || m_nodeKey == kKeyFreeSig) {
        const int s = FindByName(Db->FreeSigMsg.Signals, name);
        if (s >= 0) {
            Db->FreeSigMsg.Signals.erase(Db->FreeSigMsg.Signals.begin() + s);
            removed = true;
        }
    } else if (IsMsgKey(m_nodeKey) || IsMsgSignalKey(m_nodeKey)) {
        // A message's list shows its signals in order, so its row is the signal; one signal's list finds
        // it by name.
        const int m = FindMsgByKey(*Db, m_nodeKey);
        if (m >= 0) {
            std::vector<CCanSignal>& sigs = Db->Messages[static_cast<size_t>(m)].Signals;
            int s = FindByName(sigs, name);
            if (IsMsgKey(m_nodeKey) && static_cast<size_t>(m_selRow) < sigs.size() &&
                sigs[static_cast<size_t>(m_selRow)].Name == name)
                s = m_selRow;
            if (s >= 0) {
                sigs.erase(sigs.begin() + s);
                removed = true;
            }
        }
    }
    if (!removed) return;
    m_model->Remove(m_selRow);
    m_selRow = -1;
    updateTree(kTreeDelete, key, text, 0, {});
}

// ---- Value tables ----

void CCanDbEditListView::editEnumRow(int row, const QString& text) {
    const int e = FindByName(Db->Enums, text.toStdString());
    if (e < 0) return;
    tCAN_SIGNAL_ENUM table = Db->Enums[static_cast<size_t>(e)];
    if (!CurrentDbDialogs().EditEnum(this, Db, table)) return;
    Db->Enums[static_cast<size_t>(e)] = table;
    m_model->SetCell(row, 0, qs(table.Name));
    updateTree(kTreeEdit, kKeyEnum, text, kKeyEnum, qs(table.Name));
}

void CCanDbEditListView::OnNewEnum() {
    if (m_columnSet != 6 || Db == nullptr) return;
    tCAN_SIGNAL_ENUM table;
    if (!CurrentDbDialogs().EditEnum(this, Db, table)) return;
    Db->Enums.push_back(table);
    m_model->Append({{qs(table.Name)}, kKeyEnum});
    updateTree(kTreeAdd, 0, {}, kKeyEnum, qs(table.Name));
}

void CCanDbEditListView::OnEditEnum() {
    if ((m_columnSet != 6 && m_columnSet != 7) || !selValid()) return;
    editEnumRow(m_selRow, m_model->Cell(m_selRow, 0));
}

void CCanDbEditListView::OnDeleteEnum() {
    if ((m_columnSet != 6 && m_columnSet != 7) || !selValid()) return;
    const QString text = m_model->Cell(m_selRow, 0);
    const int e = FindByName(Db->Enums, text.toStdString());
    if (e < 0) return;
    Db->Enums.erase(Db->Enums.begin() + e);
    m_model->Remove(m_selRow);
    m_selRow = -1;
    updateTree(kTreeDelete, kKeyEnum, text, 0, {});
}
