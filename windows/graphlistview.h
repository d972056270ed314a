#pragma once
// The graph window's signal list: one row per graphed signal with a check box that shows or hides its
// curve, its colour as a swatch, its latest physical value and its unit. Values are kept per signal as
// samples arrive and shown every 500 ms unless paused; a signal silent for more than 5 s shows "--".
// GUI thread only.
#include <QAbstractTableModel>
#include <QTableView>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/cfgrecords.h"
#include "platform/clock.h"
#include "windows/graphsigcfg.h"

struct tCAN_SIG_SAMPLE_DATA;
class QTimer;

// The latest value of one signal; time in seconds since the list's start stamp.
struct tGRAPH_SIGNAL_LIST_PHY_VAL {
    uint32_t MsgKey = 0;
    std::string SigName;
    std::string ValueText;
    double UpdateTime = 0.0;
};

class CGraphListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kName, kColor, kPhyVal, kUnit, kColumns };
    static constexpr uint32_t kRowBackground = 0xFAF7F2;  // 0x00BBGGRR

    struct Row {
        uint32_t MsgKey = 0;
        std::string SigName;
        uint32_t Color = 0;
        std::string Value;
        std::string Unit;
        bool Checked = true;
    };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    const std::vector<Row>& Rows() const { return m_rows; }
    int FindRow(uint32_t msgKey, const std::string& name) const;
    void AppendRow(Row row);
    void RemoveRow(int row);
    void Clear();
    void SetColor(int row, uint32_t color);
    // Column 2 of every row from the getter, announced once.
    void RefreshValues(const std::function<const std::string*(const Row&)>& valueOf);

signals:
    // The user ticked or unticked a row.
    void checkChanged(int row, bool checked);

private:
    std::vector<Row> m_rows;
};

// What the list asks of its window.
class CGraphListHost {
public:
    virtual ~CGraphListHost() = default;
    virtual void RemoveCurveOf(uint32_t msgKey, const std::string& name) = 0;
    virtual void RemoveGraphSignal(uint32_t msgKey, const std::string& name) = 0;
    virtual void SelectCurve(uint32_t msgKey, const std::string& name) = 0;
    virtual void ShowCurve(uint32_t msgKey, const std::string& name, bool shown) = 0;
    virtual void UpdateCurveSettings(uint32_t msgKey, const tCFG_SET_GRAPH_SIG& sig) = 0;
};

class CGraphListView : public QTableView {
    Q_OBJECT
public:
    static constexpr int kRefreshTimerMs = 500;
    static constexpr int kStaleTimerMs = 200;
    static constexpr double kStaleSeconds = 5.0;

    // Edits one graphed signal in the signal dialog; true when the user accepted the edit.
    using SigEditor = std::function<bool(tCFG_SET_GRAPH_SIG& sig, QWidget* parent)>;

    CGraphListView(tCFG_SET_GRAPH& graph, CGraphListHost& host, const vex::Clock& clock,
                   QWidget* parent = nullptr);

    CGraphListModel* model() const { return m_model; }
    void SetSigEditor(SigEditor editor) { m_sigEditor = std::move(editor); }

    // A row (checked, empty value) and its value entry, unless the signal is listed already.
    void AddSignalRow(uint32_t msgKey, const tCFG_SET_GRAPH_SIG& sig);
    // The signal's value text and update time (seconds since the start stamp, read once per drain).
    void UpdateSignalValue(const tCAN_SIG_SAMPLE_DATA& sample, double nowSeconds);
    // Every row deleted from the last to the first, each row's curve removed through the window first;
    // the configuration is not touched. The value entries go with the rows, so a rebuild never leaves a
    // second entry for a signal behind.
    void ClearSignalRows();
    // Tool bar "remove": the selected row's signal leaves the configuration, the curves and the list;
    // without a selected row the message "请选中其中一项。".
    void RemoveSelectedSignal();
    // Re-formats the row's colour cell after the signal's settings changed.
    void UpdateSignalRow(uint32_t msgKey, const std::string& name, const tCFG_SET_GRAPH_SIG& sig);

    // Start: pause flag cleared, both timers running, the start stamp taken; every value entry counts as
    // updated at the start. Stop: both timers stopped.
    void Start();
    void Stop();
    bool IsPaused() const { return m_paused; }
    void SetPaused(bool paused) { m_paused = paused; }
    double SecondsSinceStart() const;
    int SelectedRow() const { return m_selectedRow; }

    // 500: unless paused, every row shows its value entry; 200: entries silent for more than 5 s read "--".
    void OnTimer(int id);
    // A click or double click on a row (-1: none).
    void OnClickRow(int row);
    void OnDoubleClickRow(int row);

    const std::vector<tGRAPH_SIGNAL_LIST_PHY_VAL>& Values() const { return m_values; }
    QTimer* refreshTimer() const { return m_refreshTimer; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void rebuildIndex();

    tCFG_SET_GRAPH& m_graph;
    CGraphListHost& m_host;
    const vex::Clock& m_clock;
    CGraphListModel* m_model;
    std::vector<tGRAPH_SIGNAL_LIST_PHY_VAL> m_values;
    CGraphSignalIndex m_valueIndex;
    int64_t m_startTicks = 0;
    int m_selectedRow = -1;
    bool m_paused = false;
    QTimer* m_refreshTimer;
    QTimer* m_staleTimer;
    SigEditor m_sigEditor;
};
