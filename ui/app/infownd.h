#pragma once
// The info window: the operator messages of the info ring as rows of a four-column list (time, level,
// source, message), appended every 200 ms, with a tool bar to clear the list and to export it as
// tab-separated GBK text. Meant to be the widget of an MDI child: closing it only hides it.
#include <QAbstractTableModel>
#include <QTableView>
#include <QWidget>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "app/infomsgring.h"

class QMdiArea;
class QMdiSubWindow;
class QTimer;
class QToolBar;

// The rows shown, formatted on demand. Qt::UserRole of any cell gives the row's level byte.
// The newest kMaxRows messages are kept; once older ones have been dropped, a first row (a warning from
// "信息窗口") says how many.
class CInfoModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr size_t kMaxRows = 100000;
    static constexpr const char* kDroppedSource = "信息窗口";

    using QAbstractTableModel::QAbstractTableModel;

    // "normalcy", "warning", "error"; any other level "--".
    static QString LevelText(uint8_t level);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Appends the messages at the end, as one insertion; beyond kMaxRows the oldest go.
    void Append(std::vector<tINFO_MSG> rows);
    // Removes every row, the count of dropped ones with them.
    void Clear();
    // Every row as "time\tlevel\tsource\tmessage\r\n", in display order (UTF-8).
    std::string ExportText() const;
    // Messages dropped to keep within kMaxRows since the last Clear.
    uint64_t Dropped() const { return m_dropped.Count; }

private:
    const tINFO_MSG& row(int index) const;
    // Counts `count` more dropped messages, the newest of them stamped `timeText`.
    void noteDropped(uint64_t count, std::string timeText);

    std::deque<tINFO_MSG> m_rows;
    // The row that counts what was dropped; shown first once Count is above 0.
    struct DroppedRow {
        uint64_t Count = 0;
        tINFO_MSG Msg;
    } m_dropped;
};

class CInfoView : public QTableView {
    Q_OBJECT
public:
    static constexpr int kTimerMs = 200;

    CInfoView(CInfoMsgRing& ring, QWidget* parent = nullptr);

    CInfoModel* infoModel() const { return m_model; }
    // One timer pass: takes every message out of the ring and appends them, each followed by its detail
    // rows (same time, source and level). When the ring overwrote messages that had not been taken (since
    // its construction, so before the window existed too), one warning row from "信息窗口" says how many,
    // placed before the messages that outlived them. Returns the rows added.
    int OnTimer();
    // Asks for a file and writes the rows to it in GBK (see the window's export command).
    void ExportToFile();

private:
    CInfoMsgRing& m_ring;
    uint64_t m_ringDropped = 0;  // the ring's count of overwritten messages, as of the last pass
    CInfoModel* m_model;
    QTimer* m_timer;
};

class CInfoWnd : public QWidget {
    Q_OBJECT
public:
    explicit CInfoWnd(CInfoMsgRing& ring, QWidget* parent = nullptr);

    // Creates the window as a child of the MDI area, titled "INFO", placed at `rect` when that is valid,
    // and shows it. The sub-window is only hidden when closed, never deleted by closing.
    static CInfoWnd* CreateWnd(const QRect& rect, QMdiArea* area, CInfoMsgRing& ring);

    CInfoView* view() const { return m_view; }
    QToolBar* toolBar() const { return m_toolBar; }
    // The MDI child holding this window, or null when it stands alone.
    QMdiSubWindow* subWindow() const;

    void OnClear();
    void OnExport();

signals:
    // The user closed the window (it is hidden, its rows kept): the frame clears its "Show" flag.
    void hiddenByClose();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CInfoView* m_view;
    QToolBar* m_toolBar;
};
