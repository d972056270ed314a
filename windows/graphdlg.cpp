#include "windows/graphdlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

#include "platform/numparse.h"
#include "platform/qt/prompt.h"
#include "windows/dlgbuttons.h"
#include "windows/listcellpaint.h"

const GraphChoice kGraphTimeLengths[13] = {
    {"1[秒]", 1000},      {"2[秒]", 2000},       {"5[秒]", 5000},     {"10[秒]", 10000}, {"20[秒]", 20000},
    {"30[秒]", 30000},    {"40[秒]", 40000},     {"50[秒]", 50000},   {"60[秒]", 60000}, {"5[分钟]", 300000},
    {"10[分钟]", 600000}, {"30[分钟]", 1800000}, {"1[小时]", 3600000}};
const GraphChoice kGraphYModes[3] = {{"焦点", 0}, {"所有", 1}, {"并行", 2}};
const GraphChoice kGraphPointTypes[3] = {{"默认", 0}, {"圆点", 1}, {"方点", 2}};

namespace {

constexpr int kTwentySecondsRow = 4;

void fillList(QComboBox* list, const GraphChoice* choices, int count) {
    list->clear();
    for (int i = 0; i < count; ++i) list->addItem(QString::fromUtf8(choices[i].text));
}

// The value of the selected text; `value` unchanged when the text matches no entry.
void takeChoice(const QComboBox* list, const GraphChoice* choices, int count, int32_t& value) {
    const QString text = list->currentText();
    for (int i = 0; i < count; ++i)
        if (text == QString::fromUtf8(choices[i].text)) value = choices[i].value;
}

QFrame* swatch(QWidget* parent) {
    auto* f = new QFrame(parent);
    f->setFrameShape(QFrame::Box);
    f->setFixedSize(48, 20);
    f->setAutoFillBackground(true);
    return f;
}

void paint(QFrame* f, uint32_t color) {
    QPalette pal = f->palette();
    pal.setColor(QPalette::Window, vex::ColorFromRef(color));
    f->setPalette(pal);
}

// One number and nothing else around blanks, as the dialog's number exchange takes it; a value that is not
// finite is refused as well.
bool parseNumber(const QString& text, double& value) {
    const std::string s = text.trimmed().toStdString();
    if (s.empty()) return false;
    size_t used = 0;
    const double v = vex::ParseReal(s, &used);
    if (used != s.size() || !std::isfinite(v)) return false;
    value = v;
    return true;
}

QPushButton* button(const char* text, QWidget* parent) {
    return new QPushButton(QString::fromUtf8(text), parent);
}

}  // namespace

int GraphChoiceRow(const GraphChoice* choices, int count, int32_t value, int fallback) {
    for (int i = 0; i < count; ++i)
        if (choices[i].value == value) return i;
    return fallback;
}

std::optional<QString> validateGraphSigDlg(const QString& minText, const QString& maxText, double& minimum,
                                           double& maximum) {
    const QString notNumber = QStringLiteral("请输入一个数字。");
    double lo = 0.0, hi = 0.0;
    if (!parseNumber(minText, lo)) return notNumber;
    if (!parseNumber(maxText, hi)) return notNumber;
    if (lo == hi) return QStringLiteral("最大值与最小值不能相等。");
    minimum = lo;
    maximum = hi;
    return std::nullopt;
}

// ---- panel dialog ----

CGraphPanelSetDlg::CGraphPanelSetDlg(QWidget* parent)
    : QDialog(parent),
      m_grid(new QCheckBox(QStringLiteral("显示网络"), this)),
      m_page(new QCheckBox(QStringLiteral("X轴翻页显示"), this)),
      m_time(new QComboBox(this)),
      m_yMode(new QComboBox(this)),
      m_gridSwatch(swatch(this)),
      m_backSwatch(swatch(this)),
      m_axisSwatch(swatch(this)) {
    setWindowTitle(QStringLiteral("绘图面板设置"));
    auto colorRow = [this](QGridLayout* g, int row, const char* label, QFrame* sw,
                           void (CGraphPanelSetDlg::*slot)()) {
        g->addWidget(new QLabel(QString::fromUtf8(label), this), row, 0);
        g->addWidget(sw, row, 1);
        QPushButton* choose = button("选择", this);
        connect(choose, &QPushButton::clicked, this, slot);
        g->addWidget(choose, row, 2);
    };
    auto* gridBox = new QGroupBox(QStringLiteral("网格"), this);
    auto* gridLayout = new QGridLayout(gridBox);
    gridLayout->addWidget(m_grid, 0, 0, 1, 3);
    colorRow(gridLayout, 1, "网格颜色：", m_gridSwatch, &CGraphPanelSetDlg::OnChooseGridColor);
    auto* backBox = new QGroupBox(QStringLiteral("背景"), this);
    auto* backLayout = new QGridLayout(backBox);
    colorRow(backLayout, 0, "背景颜色：", m_backSwatch, &CGraphPanelSetDlg::OnChooseBackgroundColor);
    auto* xBox = new QGroupBox(QStringLiteral("X轴"), this);
    auto* xLayout = new QGridLayout(xBox);
    colorRow(xLayout, 0, "X轴颜色：", m_axisSwatch, &CGraphPanelSetDlg::OnChooseXAxisColor);
    xLayout->addWidget(new QLabel(QStringLiteral("X轴时间长度："), this), 1, 0);
    xLayout->addWidget(m_time, 1, 1, 1, 2);
    xLayout->addWidget(m_page, 2, 0, 1, 3);
    auto* yBox = new QGroupBox(QStringLiteral("Y轴"), this);
    auto* yLayout = new QGridLayout(yBox);
    yLayout->addWidget(new QLabel(QStringLiteral("Y轴显示模式："), this), 0, 0);
    yLayout->addWidget(m_yMode, 0, 1);
    m_time->setObjectName(QStringLiteral("timeList"));
    m_yMode->setObjectName(QStringLiteral("yModeList"));

    QPushButton* ok = button("确定", this);
    QPushButton* cancel = button("取消", this);
    QPushButton* defaults = button("恢复默认设置", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CGraphPanelSetDlg::OnOK);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(defaults, &QPushButton::clicked, this, &CGraphPanelSetDlg::OnRestoreDefaults);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(defaults);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(gridBox);
    layout->addWidget(backBox);
    layout->addWidget(xBox);
    layout->addWidget(yBox);
    layout->addLayout(buttons);
}

void CGraphPanelSetDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_shown = Values;
    showValues();
}

void CGraphPanelSetDlg::showValues() {
    fillList(m_yMode, kGraphYModes, 3);
    m_yMode->setCurrentIndex(GraphChoiceRow(kGraphYModes, 3, m_shown.YMode, -1));
    fillList(m_time, kGraphTimeLengths, 13);
    // A length that is not in the list shows as 20 seconds.
    m_time->setCurrentIndex(GraphChoiceRow(kGraphTimeLengths, 13, m_shown.TimeLength, kTwentySecondsRow));
    m_grid->setChecked(m_shown.GridShown);
    m_page->setChecked(m_shown.PageTurning);
    paintSwatches();
}

void CGraphPanelSetDlg::paintSwatches() {
    paint(m_gridSwatch, m_shown.GridColor);
    paint(m_backSwatch, m_shown.BackgroundColor);
    paint(m_axisSwatch, m_shown.XAxisColor);
}

void CGraphPanelSetDlg::chooseColor(uint32_t& color) {
    const auto chosen = vex::CurrentPrompt().chooseColour(this, color, QString());
    if (!chosen) return;
    color = *chosen;
    paintSwatches();
}

void CGraphPanelSetDlg::OnChooseGridColor() {
    chooseColor(m_shown.GridColor);
}

void CGraphPanelSetDlg::OnChooseBackgroundColor() {
    chooseColor(m_shown.BackgroundColor);
}

void CGraphPanelSetDlg::OnChooseXAxisColor() {
    chooseColor(m_shown.XAxisColor);
}

void CGraphPanelSetDlg::OnRestoreDefaults() {
    m_shown = GraphPanelValues{};
    showValues();
}

void CGraphPanelSetDlg::OnOK() {
    m_shown.GridShown = m_grid->isChecked();
    m_shown.PageTurning = m_page->isChecked();
    takeChoice(m_yMode, kGraphYModes, 3, m_shown.YMode);
    takeChoice(m_time, kGraphTimeLengths, 13, m_shown.TimeLength);
    Values = m_shown;
    accept();
}

// ---- signal dialog ----

CGraphSigSetDlg::CGraphSigSetDlg(QWidget* parent)
    : QDialog(parent),
      m_min(new QLineEdit(this)),
      m_max(new QLineEdit(this)),
      m_point(new QComboBox(this)),
      m_minUnit(new QLabel(this)),
      m_maxUnit(new QLabel(this)),
      m_swatch(swatch(this)) {
    setWindowTitle(QStringLiteral("绘图信号设置"));
    m_min->setObjectName(QStringLiteral("minEdit"));
    m_max->setObjectName(QStringLiteral("maxEdit"));
    m_point->setObjectName(QStringLiteral("pointList"));
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Y轴刻度显示最小值："), this), 0, 0);
    grid->addWidget(m_min, 0, 1);
    grid->addWidget(m_minUnit, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Y轴刻度显示最大值："), this), 1, 0);
    grid->addWidget(m_max, 1, 1);
    grid->addWidget(m_maxUnit, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("信号颜色："), this), 2, 0);
    grid->addWidget(m_swatch, 2, 1);
    QPushButton* choose = button("选择", this);
    connect(choose, &QPushButton::clicked, this, &CGraphSigSetDlg::OnChooseColor);
    grid->addWidget(choose, 2, 2);
    grid->addWidget(new QLabel(QStringLiteral("信号点显示类型："), this), 3, 0);
    grid->addWidget(m_point, 3, 1, 1, 2);

    const vex::OkCancelButtons buttons = vex::LayOutOkCancel(*this, grid);
    // Here Enter while 取消 has the focus cancels.
    buttons.cancel->setAutoDefault(true);
    connect(buttons.ok, &QPushButton::clicked, this, &CGraphSigSetDlg::OnOK);
}

void CGraphSigSetDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_loaded) return;
    m_loaded = true;
    setWindowTitle(QStringLiteral("绘图信号设置 - %1").arg(QString::fromStdString(SigName)));
    m_minUnit->setText(QString::fromStdString(Unit));
    m_maxUnit->setText(QString::fromStdString(Unit));
    fillList(m_point, kGraphPointTypes, 3);
    m_point->setCurrentIndex(GraphChoiceRow(kGraphPointTypes, 3, PointType, -1));
    m_min->setText(QString::fromStdString(vex::FormatShortest(ShowMin)));
    m_max->setText(QString::fromStdString(vex::FormatShortest(ShowMax)));
    m_color = Color;
    paintSwatch();
}

void CGraphSigSetDlg::paintSwatch() {
    paint(m_swatch, m_color);
}

void CGraphSigSetDlg::OnChooseColor() {
    const auto chosen = vex::CurrentPrompt().chooseColour(this, m_color, QString());
    if (!chosen) return;
    m_color = *chosen;
    paintSwatch();
}

void CGraphSigSetDlg::OnOK() {
    double lo = 0.0, hi = 0.0;
    if (const auto failure = validateGraphSigDlg(m_min->text(), m_max->text(), lo, hi)) {
        vex::ShowMessage(this, *failure);
        return;
    }
    ShowMin = lo;
    ShowMax = hi;
    Color = m_color;
    takeChoice(m_point, kGraphPointTypes, 3, PointType);
    accept();
}
