#include "windows/tracemodels.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cstring>
#include <limits>

#include "windows/listcellpaint.h"

namespace {

QVariant columnAlignment(int column) {
    return QVariant::fromValue(trace::ColumnAlignment(column));
}

QString toQString(const trace::CellText& text) {
    const std::string_view v = text.View();
    return QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size()));
}

// Image 0, a message: a frame of eight data bytes under a header bar.
void drawMessageImage(QPainter& p) {
    p.setPen(QPen(QColor(0x1F, 0x4E, 0x8C), 1));
    p.setBrush(QColor(0xE8, 0xF0, 0xFA));
    p.drawRect(QRectF(1.5, 2.5, 13, 11));
    p.fillRect(QRectF(2, 3, 12, 3), QColor(0x1F, 0x4E, 0x8C));
    for (int b = 0; b < 4; ++b) {
        p.fillRect(QRectF(3 + 2.5 * b, 8, 1.5, 1.5), QColor(0x1F, 0x4E, 0x8C));
        p.fillRect(QRectF(3 + 2.5 * b, 10.5, 1.5, 1.5), QColor(0x1F, 0x4E, 0x8C));
    }
}

// Image 1, a signal: a step curve over a base line.
void drawSignalImage(QPainter& p) {
    p.setPen(QPen(QColor(0x9A, 0x9A, 0x9A), 1));
    p.drawLine(QPointF(1, 14.5), QPointF(15, 14.5));
    QPainterPath wave;
    wave.moveTo(1.5, 11.5);
    wave.lineTo(4.5, 11.5);
    wave.lineTo(4.5, 4.5);
    wave.lineTo(9.5, 4.5);
    wave.lineTo(9.5, 8.5);
    wave.lineTo(14.5, 8.5);
    p.setPen(QPen(QColor(0x2E, 0x8B, 0x3E), 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
}

QVariant headerFor(int section, Qt::Orientation orientation, int role) {
    if (orientation != Qt::Horizontal || section < 0 || section >= trace::kColumnCount) return {};
    if (role == Qt::DisplayRole) return trace::ColumnTitle(section);
    if (role == Qt::TextAlignmentRole) return columnAlignment(section);
    return {};
}

// What a node shows changed (the newest frame of a key always brings a new time stamp).
bool sameFrame(const tCAN_MSG_TRACE_DATA& a, const tCAN_MSG_TRACE_DATA& b) {
    return a.TimeMs == b.TimeMs && a.DeltaMs == b.DeltaMs && a.Dlc == b.Dlc && a.Remote == b.Remote &&
           a.Dir == b.Dir && a.CanMsg == b.CanMsg && std::memcmp(a.Data, b.Data, sizeof a.Data) == 0;
}

}  // namespace

// ---- list ----

CTraceListModel::CTraceListModel(const tCFG_SET_TRACE& settings, QObject* parent)
    : QAbstractTableModel(parent), m_settings(settings) {}

int CTraceListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.Count());
}

int CTraceListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : trace::kColumnCount;
}

QVariant CTraceListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    switch (role) {
        case Qt::DisplayRole: {
            trace::CellText text;
            FormCell(index.row(), index.column(), text);
            return toQString(text);
        }
        case Qt::TextAlignmentRole:
            return columnAlignment(index.column());
        case Qt::BackgroundRole:
            return vex::ColorFromRef(index.row() % 2 == 0 ? kEvenRowColour : kOddRowColour);
        case Qt::ForegroundRole:
            return QColor(Qt::black);
        default:
            return {};
    }
}

QVariant CTraceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    return headerFor(section, orientation, role);
}

void CTraceListModel::FormCell(int row, int column, trace::CellText& out) const {
    trace::FormListCell(Row(row), column, m_settings, out);
}

int CTraceListModel::Sync(const CCanMsgTraceRing& ring) {
    if (ring.ClearCount() != m_clears) {
        // The ring started again: what is shown belongs to an earlier trace.
        if (m_rows.Count() > 0) {
            beginResetModel();
            m_rows.Clear();
            endResetModel();
        }
        m_clears = ring.ClearCount();
        m_seen = 0;
    }
    // Rows pushed since the last look; those that already fell out of the ring are gone.
    const uint32_t fresh = std::min(ring.SeqCounter() - m_seen, ring.Count());
    m_seen = ring.SeqCounter();
    if (fresh == 0) return 0;
    const uint32_t first = ring.Count() - fresh;
    const uint32_t capacity = m_rows.Capacity();
    if (fresh >= capacity) {
        // Every row shown is replaced (a long pause, or more than a ring's worth since the last look).
        beginResetModel();
        m_rows.Clear();
        for (uint32_t n = first; n < ring.Count(); ++n) m_rows.Push(ring.Row(n));
        endResetModel();
        return static_cast<int>(fresh);
    }
    const uint32_t held = m_rows.Count();
    if (held + fresh > capacity) {
        const uint32_t drop = held + fresh - capacity;
        beginRemoveRows({}, 0, static_cast<int>(drop) - 1);
        for (uint32_t i = 0; i < drop; ++i) m_rows.Pop(m_scratch);
        endRemoveRows();
    }
    const int at = static_cast<int>(m_rows.Count());
    beginInsertRows({}, at, at + static_cast<int>(fresh) - 1);
    for (uint32_t n = first; n < ring.Count(); ++n) m_rows.Push(ring.Row(n));
    endInsertRows();
    return static_cast<int>(fresh);
}

void CTraceListModel::Clear(const CCanMsgTraceRing& ring) {
    if (m_rows.Count() > 0) {
        beginResetModel();
        m_rows.Clear();
        endResetModel();
    }
    m_clears = ring.ClearCount();
    m_seen = ring.SeqCounter();
}

void CTraceListModel::SettingsChanged() {
    if (m_rows.Count() == 0) return;
    emit dataChanged(index(0, 0), index(rowCount() - 1, trace::kColumnCount - 1), {Qt::DisplayRole});
}

// ---- tree ----

CTraceTreeModel::CTraceTreeModel(const tCFG_SET_TRACE& settings, QObject* parent, const vex::Clock& clock)
    : QAbstractItemModel(parent),
      m_settings(settings),
      m_clock(clock),
      m_slots(kMaxNodes),
      m_rowOfSlot(kMaxNodes, -1),
      m_gone(kMaxNodes, false) {
    m_order.reserve(kMaxNodes);
    for (int s = kMaxNodes - 1; s >= 0; --s) m_free.push_back(s);
}

int CTraceTreeModel::childCountOf(const tCAN_MSG_TRACE_DATA& row) const {
    return row.Known && row.CanMsg ? static_cast<int>(row.CanMsg->Signals.size()) : 0;
}

QModelIndex CTraceTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column >= trace::kColumnCount) return {};
    if (!parent.isValid()) {
        if (row >= static_cast<int>(m_order.size())) return {};
        return createIndex(row, column, quintptr{0});
    }
    if (parent.internalId() != 0 || parent.column() != 0) return {};
    const int slot = m_order[static_cast<size_t>(parent.row())];
    if (row >= m_slots[static_cast<size_t>(slot)].children) return {};
    return createIndex(row, column, static_cast<quintptr>(slot) + 1);
}

QModelIndex CTraceTreeModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == 0) return {};
    const size_t slot = static_cast<size_t>(child.internalId() - 1);
    return createIndex(m_rowOfSlot[slot], 0, quintptr{0});
}

int CTraceTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return static_cast<int>(m_order.size());
    if (parent.internalId() != 0 || parent.column() != 0) return 0;
    return m_slots[static_cast<size_t>(m_order[static_cast<size_t>(parent.row())])].children;
}

int CTraceTreeModel::columnCount(const QModelIndex&) const {
    return trace::kColumnCount;
}

QVariant CTraceTreeModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
    if (role == Qt::TextAlignmentRole) return columnAlignment(index.column());
    if (role == Qt::DecorationRole) {
        const int image = ImageOf(index);
        return image < 0 ? QVariant() : QVariant(Image(image));
    }
    if (role != Qt::DisplayRole) return {};
    trace::CellText text;
    FormCell(index, text);
    return toQString(text);
}

void CTraceTreeModel::FormCell(const QModelIndex& index, trace::CellText& out) const {
    if (index.internalId() == 0) {
        trace::FormTreeCell(NodeRow(index.row()), index.column(), m_settings, out);
        return;
    }
    const Node& node = m_slots[static_cast<size_t>(index.internalId() - 1)];
    const CCanSignal& signal = node.row.CanMsg->Signals[static_cast<size_t>(index.row())];
    trace::FormSignalCell(signal, node.row.Data, index.column(), m_settings.NumHex != 0, out);
}

const QImage& CTraceTreeModel::Image(int image) {
    // The program carries no bitmaps: both images are drawn here, once.
    static const QImage images[2] = {[] {
                                         QImage i(16, 16, QImage::Format_ARGB32_Premultiplied);
                                         i.fill(Qt::transparent);
                                         QPainter p(&i);
                                         drawMessageImage(p);
                                         return i;
                                     }(),
                                     [] {
                                         QImage i(16, 16, QImage::Format_ARGB32_Premultiplied);
                                         i.fill(Qt::transparent);
                                         QPainter p(&i);
                                         drawSignalImage(p);
                                         return i;
                                     }()};
    return images[image == kSignalImage ? 1 : 0];
}

QVariant CTraceTreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
    return headerFor(section, orientation, role);
}

uint64_t CTraceTreeModel::NodeKey(int row) const {
    return m_slots[static_cast<size_t>(m_order[static_cast<size_t>(row)])].key;
}

const tCAN_MSG_TRACE_DATA& CTraceTreeModel::NodeRow(int row) const {
    return m_slots[static_cast<size_t>(m_order[static_cast<size_t>(row)])].row;
}

void CTraceTreeModel::renumber() {
    std::fill(m_rowOfSlot.begin(), m_rowOfSlot.end(), -1);
    for (size_t r = 0; r < m_order.size(); ++r)
        m_rowOfSlot[static_cast<size_t>(m_order[r])] = static_cast<int>(r);
}

void CTraceTreeModel::Refresh(const CCanMsgTraceMap& source, bool online) {
    // Taken on every refresh, so that the receive clock starts from the tick that first saw a frame.
    const double now = frameTimeNow(source, online);
    removeNodes(source);
    updateNodes(source);
    appendNodes(source);
    if (m_free.empty() && source.size() > m_order.size()) replaceQuietNodes(source, now);
}

double CTraceTreeModel::frameTimeNow(const CCanMsgTraceMap& source, bool online) {
    const CCanMsgTraceMap::Entry* newest = source.Newest();
    if (newest == nullptr || !online) {
        m_anchor.reset();
        return newest == nullptr ? std::numeric_limits<double>::quiet_NaN() : newest->TimeMs;
    }
    const double clockMs = m_clock.NowMs();
    if (!m_anchor || m_anchor->key != newest->Key() || m_anchor->frameMs != newest->TimeMs)
        m_anchor = Anchor{newest->Key(), newest->TimeMs, clockMs};
    return m_anchor->frameMs + (clockMs - m_anchor->clockMs);
}

void CTraceTreeModel::removeNodes(const CCanMsgTraceMap& source) {
    bool any = false;
    for (int slot : m_order) {
        if (source.count(m_slots[static_cast<size_t>(slot)].key) == 0)
            m_gone[static_cast<size_t>(slot)] = any = true;
    }
    if (any) removeGone();
}

void CTraceTreeModel::removeGone() {
    const auto isGone = [this](int row) {
        return m_gone[static_cast<size_t>(m_order[static_cast<size_t>(row)])];
    };
    // Runs of gone nodes, from the bottom up so that the rows above keep their numbers.
    int row = static_cast<int>(m_order.size()) - 1;
    while (row >= 0) {
        if (!isGone(row)) {
            --row;
            continue;
        }
        int first = row;
        while (first > 0 && isGone(first - 1)) --first;
        beginRemoveRows({}, first, row);
        for (int r = first; r <= row; ++r) {
            const int slot = m_order[static_cast<size_t>(r)];
            Node& node = m_slots[static_cast<size_t>(slot)];
            m_slotOfKey.erase(node.key);
            node = Node{};
            m_gone[static_cast<size_t>(slot)] = false;
            m_free.push_back(slot);
        }
        m_order.erase(m_order.begin() + first, m_order.begin() + row + 1);
        renumber();
        endRemoveRows();
        row = first - 1;
    }
    // The lowest free slot is taken next, so slots are reused in a fixed order.
    std::sort(m_free.begin(), m_free.end(), std::greater<int>());
}

void CTraceTreeModel::replaceQuietNodes(const CCanMsgTraceMap& source, double now) {
    const auto timeOf = [this](int slot) { return m_slots[static_cast<size_t>(slot)].row.TimeMs; };
    std::vector<int> quietSlots;
    for (int slot : m_order) {
        if (now - timeOf(slot) >= kQuietMs) quietSlots.push_back(slot);
    }
    if (quietSlots.empty()) return;
    // The nodes seen longest ago give way first.
    std::stable_sort(quietSlots.begin(), quietSlots.end(),
                     [&timeOf](int a, int b) { return timeOf(a) < timeOf(b); });
    // Keys without a node seen after the oldest quiet node, seen last first: the walk passes at most every
    // node's key and the keys it takes. A key seen since counts whether or not it is quiet by now itself:
    // a frame that came just after a flood is as old as the flood's nodes by the time they are quiet.
    const double oldest = timeOf(quietSlots.front());
    std::vector<const CCanMsgTraceMap::Entry*> taken;
    for (const CCanMsgTraceMap::Entry* e = source.Newest(); e != nullptr && taken.size() < quietSlots.size();
         e = source.Older(*e)) {
        if (!(e->TimeMs > oldest)) break;
        if (m_slotOfKey.count(e->Key()) == 0) taken.push_back(e);
    }
    // Each key takes the place of a node seen before it: the newest keys those of the oldest nodes.
    std::stable_sort(taken.begin(), taken.end(),
                     [](const auto* a, const auto* b) { return a->TimeMs > b->TimeMs; });
    size_t replaced = 0;
    while (replaced < taken.size() && taken[replaced]->TimeMs > timeOf(quietSlots[replaced])) ++replaced;
    taken.resize(replaced);
    if (taken.empty()) return;
    for (size_t i = 0; i < taken.size(); ++i) m_gone[static_cast<size_t>(quietSlots[i])] = true;
    removeGone();
    // The new nodes are appended in ascending key order, as appendNodes adds them.
    std::sort(taken.begin(), taken.end(), [](const auto* a, const auto* b) { return a->Key() < b->Key(); });
    std::vector<std::pair<uint64_t, const tCAN_MSG_TRACE_DATA*>> added;
    added.reserve(taken.size());
    for (const auto* e : taken) added.emplace_back(e->Key(), e);
    insertNodes(added);
}

void CTraceTreeModel::updateNodes(const CCanMsgTraceMap& source) {
    // Each run of changed nodes is announced on its own, so a view repaints only rows that changed.
    const int rows = static_cast<int>(m_order.size());
    int runStart = -1;
    const auto endRun = [&](int end) {
        if (runStart >= 0)
            emit dataChanged(index(runStart, 0), index(end - 1, trace::kColumnCount - 1), {Qt::DisplayRole});
        runStart = -1;
    };
    for (int r = 0; r < rows; ++r) {
        Node& node = m_slots[static_cast<size_t>(m_order[static_cast<size_t>(r)])];
        const tCAN_MSG_TRACE_DATA& fresh = source.at(node.key);
        if (sameFrame(node.row, fresh)) {
            endRun(r);
            continue;
        }
        const QModelIndex parentIndex = index(r, 0);
        if (node.row.CanMsg != fresh.CanMsg || childCountOf(fresh) != node.children) {
            // Another definition: its signals replace the old ones.
            endRun(r);
            if (node.children > 0) {
                beginRemoveRows(parentIndex, 0, node.children - 1);
                node.children = 0;
                endRemoveRows();
            }
            node.row = fresh;
            const int children = childCountOf(fresh);
            if (children > 0) {
                beginInsertRows(parentIndex, 0, children - 1);
                node.children = children;
                endInsertRows();
            }
        } else {
            node.row = fresh;
            if (node.children > 0) {
                emit dataChanged(index(0, 0, parentIndex),
                                 index(node.children - 1, kSignalColumns - 1, parentIndex),
                                 {Qt::DisplayRole});
            }
        }
        if (runStart < 0) runStart = r;
    }
    endRun(rows);
}

void CTraceTreeModel::appendNodes(const CCanMsgTraceMap& source) {
    if (m_free.empty() || source.size() <= m_order.size()) return;
    std::vector<std::pair<uint64_t, const tCAN_MSG_TRACE_DATA*>> added;
    for (auto it = source.begin(); it != source.end() && added.size() < m_free.size(); ++it) {
        if (m_slotOfKey.count(it->first) == 0) added.emplace_back(it->first, &it->second);
    }
    insertNodes(added);
}

void CTraceTreeModel::insertNodes(const std::vector<std::pair<uint64_t, const tCAN_MSG_TRACE_DATA*>>& added) {
    if (added.empty()) return;
    const int at = static_cast<int>(m_order.size());
    beginInsertRows({}, at, at + static_cast<int>(added.size()) - 1);
    for (const auto& [key, row] : added) {
        const int slot = m_free.back();
        m_free.pop_back();
        Node& node = m_slots[static_cast<size_t>(slot)];
        node.key = key;
        node.row = *row;
        node.children = childCountOf(node.row);
        m_slotOfKey.emplace(node.key, slot);
        m_rowOfSlot[static_cast<size_t>(slot)] = static_cast<int>(m_order.size());
        m_order.push_back(slot);
    }
    endInsertRows();
}

void CTraceTreeModel::Clear() {
    if (m_order.empty()) return;
    beginRemoveRows({}, 0, static_cast<int>(m_order.size()) - 1);
    for (int slot : m_order) m_slots[static_cast<size_t>(slot)] = Node{};
    m_order.clear();
    m_slotOfKey.clear();
    m_free.clear();
    for (int s = kMaxNodes - 1; s >= 0; --s) m_free.push_back(s);
    renumber();
    endRemoveRows();
}

void CTraceTreeModel::SettingsChanged() {
    for (int r = 0; r < static_cast<int>(m_order.size()); ++r) {
        const int children = m_slots[static_cast<size_t>(m_order[static_cast<size_t>(r)])].children;
        if (children > 0) {
            const QModelIndex parentIndex = index(r, 0);
            emit dataChanged(index(0, 0, parentIndex), index(children - 1, kSignalColumns - 1, parentIndex),
                             {Qt::DisplayRole});
        }
    }
    if (!m_order.empty()) {
        emit dataChanged(index(0, 0), index(static_cast<int>(m_order.size()) - 1, trace::kColumnCount - 1),
                         {Qt::DisplayRole});
    }
}

int CTraceTreeModel::compare(const Node& a, const Node& b, int column) const {
    const auto threeWay = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
    switch (column) {
        case trace::kName:
            return threeWay(a.row.MsgName(), b.row.MsgName());
        case trace::kId:
            // The identifiers' eight-digit hexadecimal texts order as the numbers do.
            return threeWay(a.row.MsgId, b.row.MsgId);
        case trace::kIdType:
            return threeWay(a.row.Ext != 0, b.row.Ext != 0);
        default: {
            const bool delta = m_settings.DeltaTime != 0;
            return threeWay(delta ? a.row.DeltaMs : a.row.TimeMs, delta ? b.row.DeltaMs : b.row.TimeMs);
        }
    }
}

bool CTraceTreeModel::SortByColumn(int column) {
    if (column != trace::kName && column != trace::kId && column != trace::kIdType && column != trace::kTime)
        return false;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> slotsBefore;
    slotsBefore.reserve(static_cast<size_t>(before.size()));
    for (const QModelIndex& i : before) {
        slotsBefore.push_back(i.internalId() == 0 ? m_order[static_cast<size_t>(i.row())] : -1);
    }
    const int direction = m_sortDirection;
    std::stable_sort(m_order.begin(), m_order.end(), [&](int x, int y) {
        return direction * compare(m_slots[static_cast<size_t>(x)], m_slots[static_cast<size_t>(y)], column) <
               0;
    });
    renumber();
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i) {
        const QModelIndex& old = before[i];
        const int slot = slotsBefore[static_cast<size_t>(i)];
        // Signal rows stay under the same node; only top-level rows move.
        after.push_back(
            slot < 0 ? old : createIndex(m_rowOfSlot[static_cast<size_t>(slot)], old.column(), quintptr{0}));
    }
    changePersistentIndexList(before, after);
    m_sortDirection = -m_sortDirection;
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    return true;
}
