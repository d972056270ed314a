#pragma once
// The graph window's two settings dialogs: "绘图面板设置" (grid, colours, time length, page turning and
// the Y-axis mode of the whole plot) and "绘图信号设置" (one graphed signal's Y range, colour and point
// type). Only OK hands values back; cancel leaves the caller's values as they were. Colours are
// 0x00BBGGRR; the colour chooser is reached through the program's prompt.
#include <QDialog>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;

// The texts and values of the dialogs' drop-down lists, in list order.
struct GraphChoice {
    const char* text;
    int32_t value;
};
extern const GraphChoice kGraphTimeLengths[13];  // "1[秒]" 1000 ... "1[小时]" 3600000
extern const GraphChoice kGraphYModes[3];        // "焦点" 0, "所有" 1, "并行" 2
extern const GraphChoice kGraphPointTypes[3];    // "默认" 0, "圆点" 1, "方点" 2
// The list row whose value is `value`, or `fallback` when none is.
int GraphChoiceRow(const GraphChoice* choices, int count, int32_t value, int fallback);

struct GraphPanelValues {
    bool GridShown = true;
    bool PageTurning = false;
    uint32_t GridColor = 0x005000;
    uint32_t BackgroundColor = 0xFFFFFF;
    uint32_t XAxisColor = 0x000000;
    int32_t TimeLength = 20000;  // ms
    int32_t YMode = 0;

    bool operator==(const GraphPanelValues&) const = default;
};

// The signal dialog's OK: the first failing check's message, or none with both numbers set. Each edit must
// hold one number and nothing else ("请输入一个数字。"), the minimum's first; then the two may not be
// equal ("最大值与最小值不能相等。"). A minimum above the maximum is accepted.
std::optional<QString> validateGraphSigDlg(const QString& minText, const QString& maxText, double& minimum,
                                           double& maximum);

class CGraphPanelSetDlg : public QDialog {
    Q_OBJECT
public:
    explicit CGraphPanelSetDlg(QWidget* parent = nullptr);

    // In before exec(), out after OK.
    GraphPanelValues Values;

    QCheckBox* gridCheck() const { return m_grid; }
    QCheckBox* pageCheck() const { return m_page; }
    QComboBox* timeList() const { return m_time; }
    QComboBox* yModeList() const { return m_yMode; }

    // "恢复默认设置": every value back to its default, both lists and check boxes re-selected; stays open.
    void OnRestoreDefaults();
    // "选择" of the grid, background or X-axis colour.
    void OnChooseGridColor();
    void OnChooseBackgroundColor();
    void OnChooseXAxisColor();
    // "确定": check boxes and both lists into Values (a list without a selection keeps its value).
    void OnOK();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showValues();
    void chooseColor(uint32_t& color);
    void paintSwatches();

    GraphPanelValues m_shown;  // what the controls show
    QCheckBox* m_grid;
    QCheckBox* m_page;
    QComboBox* m_time;
    QComboBox* m_yMode;
    QFrame* m_gridSwatch;
    QFrame* m_backSwatch;
    QFrame* m_axisSwatch;
};

class CGraphSigSetDlg : public QDialog {
    Q_OBJECT
public:
    explicit CGraphSigSetDlg(QWidget* parent = nullptr);

    // In before exec(), out after OK (name and unit in only).
    double ShowMin = 0.0;
    double ShowMax = 0.0;
    uint32_t Color = 0;
    int32_t PointType = 0;
    std::string SigName;
    std::string Unit;

    QLineEdit* minEdit() const { return m_min; }
    QLineEdit* maxEdit() const { return m_max; }
    QComboBox* pointList() const { return m_point; }

    void OnChooseColor();
    // "确定": validateGraphSigDlg; a failure shows its message and the dialog stays open.
    void OnOK();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void paintSwatch();

    uint32_t m_color = 0;
    QLineEdit* m_min;
    QLineEdit* m_max;
    QComboBox* m_point;
    QLabel* m_minUnit;
    QLabel* m_maxUnit;
    QFrame* m_swatch;
    bool m_loaded = false;
};
