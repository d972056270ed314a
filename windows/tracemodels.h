#pragma once
// The models of the trace window.
//
// CTraceListModel: the frames of the hub's trace ring, oldest first. It keeps its own copy of the rows it
// shows, so a paused list keeps the rows it had while the ring goes on filling, and a repaint never sees
// a ring that moved since the last refresh. Sync takes only the rows added since the last Sync: the rows
// that fell out of the ring are removed at the top, the new ones inserted at the bottom.
//
// CTraceTreeModel: one top-level node per trace key (identifier and channel) of a per-identifier trace
// map, at most 512, with the decoded signals of a known message as children. Refresh follows a map:
// nodes of keys that left it are removed, new keys are appended in ascending key order, every node shows
// its key's newest row. When every node is taken and the map holds keys without one, nodes whose key has
// been quiet for kQuietMs give way to keys seen since (seen after the key of the node that gives way), the
// nodes seen longest ago first: keys that come after a flood of identifiers are shown, while the nodes of
// a bus with more keys than nodes stay as long as their keys keep coming. Quiet is measured in frame time:
// against the newest frame of the map, or, while the bus is online, against the receive clock now (the
// newest frame's time carried on by the clock since the tree first saw that frame), so that frame time
// goes on when the bus falls silent and a frame seen once after a flood still gets its node.
//
// Both read the trace settings in place and form cells on demand (FormCell writes a cell's text without
// a QString, for views that paint many cells); call SettingsChanged after a switch changed. GUI thread
// only; the caller holds the hub's trace lock around Sync and Refresh.
#include <QAbstractItemModel>
#include <QAbstractTableModel>
#include <QImage>

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "app/canmsgdatahub.h"
#include "app/dropring.h"
#include "config/cfgrecords.h"
#include "platform/clock.h"
#include "windows/tracetext.h"

class CTraceListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Row backgrounds, 0x00BBGGRR: even and odd rows.
    static constexpr uint32_t kEvenRowColour = 0xF9F7F0;
    static constexpr uint32_t kOddRowColour = 0xEFE8E5;

    CTraceListModel(const tCFG_SET_TRACE& settings, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Takes what the ring gained since the last Sync; after the ring was cleared, starts again from what
    // it holds now. Returns the rows inserted.
    int Sync(const CCanMsgTraceRing& ring);
    // Shows no rows; the next Sync takes only rows added to the ring after this call.
    void Clear(const CCanMsgTraceRing& ring);
    void SettingsChanged();

    // The row shown at `row` (0 = the oldest); row < rowCount().
    const tCAN_MSG_TRACE_DATA& Row(int row) const { return m_rows.At(static_cast<uint32_t>(row)); }
    // The text of a cell, as DisplayRole gives it; row < rowCount(), 0 <= column < trace::kColumnCount.
    void FormCell(int row, int column, trace::CellText& out) const;

private:
    const tCFG_SET_TRACE& m_settings;
    CDropOldestRing<tCAN_MSG_TRACE_DATA> m_rows{CCanMsgTraceRing::kCapacity};
    uint32_t m_seen = 0;    // the ring's sequence counter at the last Sync
    uint32_t m_clears = 0;  // the ring's clear count at the last Sync
    tCAN_MSG_TRACE_DATA m_scratch;
};

class CTraceTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    static constexpr int kMaxNodes = 512;
    // A key not seen for this long (frame time, see above) is quiet.
    static constexpr double kQuietMs = 10000.0;
    // Children of a node: name, raw value, physical value or value-table text, unit (columns 0-3).
    static constexpr int kSignalColumns = 4;
    // The images of column 0 (DecorationRole): message nodes carry image 0, signal rows image 1.
    static constexpr int kMessageImage = 0;
    static constexpr int kSignalImage = 1;
    // One of the two images, 16 by 16 pixels, drawn once on first use.
    static const QImage& Image(int image);

    // `clock` is the receive clock that carries frame time on while online.
    explicit CTraceTreeModel(const tCFG_SET_TRACE& settings, QObject* parent = nullptr,
                             const vex::Clock& clock = vex::SystemClock());

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Follows the map (see above). `online`: the map is the live map of a bus online, so quiet is measured
    // against the receive clock; otherwise (replay, offline, a paused copy) against the map's newest frame.
    void Refresh(const CCanMsgTraceMap& source, bool online = false);
    // Removes every node.
    void Clear();
    void SettingsChanged();
    // Sorts the top-level nodes by column 0 (name), 1 (identifier), 2 (extended flag) or 4 (the time
    // shown), stably; each sort runs in the opposite direction of the one before (the first ascending).
    // Other columns do nothing and return false.
    bool SortByColumn(int column);

    // The text of a valid cell, as DisplayRole gives it.
    void FormCell(const QModelIndex& index, trace::CellText& out) const;
    // The image of a cell (kMessageImage, kSignalImage), -1 for none.
    static int ImageOf(const QModelIndex& index) {
        return index.column() != 0 ? -1 : index.internalId() == 0 ? kMessageImage : kSignalImage;
    }

    // The trace key and newest row of a top-level row.
    uint64_t NodeKey(int row) const;
    const tCAN_MSG_TRACE_DATA& NodeRow(int row) const;

private:
    struct Node {
        uint64_t key = 0;
        tCAN_MSG_TRACE_DATA row;
        int children = 0;  // rows announced under the node
    };

    int childCountOf(const tCAN_MSG_TRACE_DATA& row) const;
    void removeNodes(const CCanMsgTraceMap& source);
    // Removes the nodes whose slot m_gone marks, each run of rows announced on its own; clears the marks.
    void removeGone();
    void updateNodes(const CCanMsgTraceMap& source);
    void appendNodes(const CCanMsgTraceMap& source);
    // Frame time now (see above); NaN for an empty map.
    double frameTimeNow(const CCanMsgTraceMap& source, bool online);
    void replaceQuietNodes(const CCanMsgTraceMap& source, double now);
    // Appends nodes for the keys in the order given; there are enough free slots.
    void insertNodes(const std::vector<std::pair<uint64_t, const tCAN_MSG_TRACE_DATA*>>& added);
    void renumber();
    int compare(const Node& a, const Node& b, int column) const;

    const tCFG_SET_TRACE& m_settings;
    const vex::Clock& m_clock;
    // Online: the newest frame the tree has seen (key and time) and the receive clock when it first did.
    struct Anchor {
        uint64_t key = 0;
        double frameMs = 0.0;
        double clockMs = 0.0;
    };
    std::optional<Anchor> m_anchor;
    std::vector<Node> m_slots;     // kMaxNodes; a node keeps its slot while it exists
    std::vector<int> m_order;      // slots in display order
    std::vector<int> m_rowOfSlot;  // display row of each slot, -1 when free
    std::vector<int> m_free;       // free slots, the lowest last
    std::vector<bool> m_gone;      // slots whose node removeGone takes out
    std::unordered_map<uint64_t, int> m_slotOfKey;
    int m_sortDirection = 1;
};
