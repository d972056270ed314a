#include "windows/graphwnd.h"

#include <QAction>
#include <QCloseEvent>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

#include "app/canmsgdatahub.h"
#include "windows/canselectsigdlg.h"
#include "windows/graphdlg.h"
#include "windows/graphsigcfg.h"

namespace {

bool pickWithDialog(CCanMsgDataHub& hub, const std::vector<tCAN_DB_SEL_CAN_SIG>& graphed,
                    std::vector<tCAN_DB_SEL_CAN_SIG>& picked, QWidget* parent) {
    CCanDbSelectSigDlg dlg(hub, parent);
    dlg.Exclusions = graphed;
    if (dlg.exec() != QDialog::Accepted) return false;
    picked = dlg.Results;
    return true;
}

bool editPanelWithDialog(GraphPanelValues& values, QWidget* parent) {
    CGraphPanelSetDlg dlg(parent);
    dlg.Values = values;
    if (dlg.exec() != QDialog::Accepted) return false;
    values = dlg.Values;
    return true;
}

bool editSignalWithDialog(tCFG_SET_GRAPH_SIG& sig, QWidget* parent) {
    CGraphSigSetDlg dlg(parent);
    dlg.ShowMin = sig.ShowMin;
    dlg.ShowMax = sig.ShowMax;
    dlg.Color = sig.Color;
    dlg.PointType = sig.PointType;
    dlg.SigName = sig.CanSig.Name;
    dlg.Unit = sig.CanSig.Unit;
    if (dlg.exec() != QDialog::Accepted) return false;
    sig.ShowMin = dlg.ShowMin;
    sig.ShowMax = dlg.ShowMax;
    sig.Color = dlg.Color;
    sig.PointType = dlg.PointType;
    return true;
}

}  // namespace

CGraphWnd::CGraphWnd(GraphWndDeps deps, QWidget* parent)
    : QWidget(parent),
      m_deps(std::move(deps)),
      m_toolBar(new QToolBar(this)),
      m_splitter(new QSplitter(Qt::Horizontal, this)),
      m_list(new CGraphListView(m_deps.settings, *this, m_deps.clock, m_splitter)),
      m_curve(new CGraphCurveView(m_deps.settings, m_splitter)),
      m_drainTimer(new QTimer(this)) {
    setWindowTitle(QStringLiteral("GRAPH"));
    m_toolBar->setObjectName(QStringLiteral("graphToolBar"));
    m_toolBar->setMovable(false);
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_run = addCommand("运行", "actRun", &CGraphWnd::OnRun);
    m_pause = addCommand("暂停", "actPause", &CGraphWnd::OnPause);
    m_toolBar->addSeparator();
    addCommand("添加", "actAdd", &CGraphWnd::AddGraphSignals);
    QAction* remove =
        m_toolBar->addAction(QStringLiteral("删除"), m_list, &CGraphListView::RemoveSelectedSignal);
    remove->setObjectName(QStringLiteral("actRemove"));
    m_toolBar->addSeparator();
    addCommand("面板", "actPanel", &CGraphWnd::OnPanel);
    m_toolBar->addSeparator();
    m_pan = addCommand("平移", "actPan", &CGraphWnd::OnPan);
    m_toStart = addCommand("起点", "actToStart", &CGraphWnd::OnToStart);
    m_toEnd = addCommand("终点", "actToEnd", &CGraphWnd::OnToEnd);
    m_toolBar->addSeparator();
    m_cursor = addCommand("光标", "actCursor", &CGraphWnd::OnCursor);
    m_pan->setCheckable(true);
    m_cursor->setCheckable(true);

    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(m_list);
    m_splitter->addWidget(m_curve);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolBar);
    layout->addWidget(m_splitter, 1);

    m_picker = [this](const std::vector<tCAN_DB_SEL_CAN_SIG>& graphed,
                      std::vector<tCAN_DB_SEL_CAN_SIG>& picked,
                      QWidget* parent) { return pickWithDialog(m_deps.hub, graphed, picked, parent); };
    m_curve->SetPanelEditor(editPanelWithDialog);
    m_list->SetSigEditor(editSignalWithDialog);
    m_drainTimer->setInterval(kDrainTimerMs);
    connect(m_drainTimer, &QTimer::timeout, this, &CGraphWnd::OnTimer);
    connect(m_curve, &CGraphCurveView::repainted, this, &CGraphWnd::UpdateCommands);
    UpdateCommands();
}

QAction* CGraphWnd::addCommand(const char* text, const char* name, void (CGraphWnd::*slot)()) {
    QAction* action = m_toolBar->addAction(QString::fromUtf8(text), this, slot);
    action->setObjectName(QString::fromLatin1(name));
    action->setToolTip(QString::fromUtf8(text));
    return action;
}

void CGraphWnd::SetPanelEditor(CGraphCurveView::PanelEditor editor) {
    m_curve->SetPanelEditor(std::move(editor));
}

void CGraphWnd::SetSigEditor(CGraphListView::SigEditor editor) {
    m_list->SetSigEditor(std::move(editor));
}

bool CGraphWnd::active() const {
    return (m_deps.isOnline && m_deps.isOnline()) || (m_deps.isReplaying && m_deps.isReplaying());
}

void CGraphWnd::ApplyGraphSigCfg() {
    m_list->ClearSignalRows();
    for (const auto& [key, msg] : m_deps.settings.MsgMap) {
        for (const tCFG_SET_GRAPH_SIG& sig : msg.SigArray) {
            m_list->AddSignalRow(key, sig);
            m_curve->AddCurve(key, sig);
        }
    }
    m_curve->ApplyPanelSettings();
}

void CGraphWnd::StartGraph() {
    m_list->Start();
    m_curve->StartCurves();
    m_drainTimer->start();
    UpdateCommands();
}

void CGraphWnd::StopGraph() {
    m_list->Stop();
    m_curve->StopCurves();
    m_drainTimer->stop();
    UpdateCommands();
}

bool CGraphWnd::IsPlotting() const {
    return m_drainTimer->isActive();
}

void CGraphWnd::AddGraphSignals() {
    std::vector<tCAN_DB_SEL_CAN_SIG> picked;
    if (!m_picker || !m_picker(GraphedSignals(m_deps.settings), picked, this)) return;
    AddPickedGraphSignals(m_deps.settings, picked, m_deps.colors);
    // Rows and curves skip the signals they show already: only the new ones appear, in configuration order.
    for (const auto& [key, msg] : m_deps.settings.MsgMap) {
        for (const tCFG_SET_GRAPH_SIG& sig : msg.SigArray) {
            m_list->AddSignalRow(key, sig);
            m_curve->AddCurve(key, sig);
        }
    }
}

void CGraphWnd::RemoveGraphSignal(uint32_t msgKey, const std::string& name) {
    RemoveGraphSignalCfg(m_deps.settings, msgKey, name);
    m_curve->RemoveCurve(msgKey, name);
}

void CGraphWnd::RemoveCurveOf(uint32_t msgKey, const std::string& name) {
    m_curve->RemoveCurve(msgKey, name);
}

void CGraphWnd::SelectCurve(uint32_t msgKey, const std::string& name) {
    m_curve->SelectCurve(msgKey, name);
}

void CGraphWnd::ShowCurve(uint32_t msgKey, const std::string& name, bool shown) {
    m_curve->ShowCurve(msgKey, name, shown);
}

void CGraphWnd::UpdateCurveSettings(uint32_t msgKey, const tCFG_SET_GRAPH_SIG& sig) {
    m_curve->UpdateCurve(msgKey, sig.CanSig.Name, sig.ShowMin, sig.ShowMax, sig.Color, sig.PointType);
}

void CGraphWnd::OnTimer() {
    CCanSigSampleFifo& fifo = m_deps.hub.SampleFifo();
    const double now = m_list->SecondsSinceStart();
    // In blocks under one lock each; the scratch samples keep their strings' capacity.
    for (uint32_t n; (n = fifo.PopMany(m_samples.data(), static_cast<uint32_t>(m_samples.size()))) != 0;) {
        for (uint32_t i = 0; i < n; ++i) {
            m_list->UpdateSignalValue(m_samples[i], now);
            m_curve->AddSample(m_samples[i]);
        }
    }
    if (!m_replayWatch || !m_pageEnd) return;
    const CGraphPlot& engine = m_curve->Engine();
    const double pageEnd = m_pageEnd();
    if (pageEnd <= engine.NewestTime() || pageEnd <= engine.Now()) {
        m_replayWatch = false;
        StopGraph();
        m_curve->GoToEnd();
    }
}

void CGraphWnd::SaveLayout(tWND_SPLITTER& splitter) const {
    const QList<int> columns = m_splitter->sizes();
    splitter.C0 = columns.value(0);
    splitter.C0Min = m_list->minimumWidth();
    splitter.C1 = columns.value(1);
    splitter.C1Min = m_curve->minimumWidth();
    splitter.R0 = m_splitter->height();
    splitter.R0Min = m_splitter->minimumHeight();
    // One row only: row 1 carries row 0's values.
    splitter.R1 = splitter.R0;
    splitter.R1Min = splitter.R0Min;
}

void CGraphWnd::RestoreLayout(const tWND_SPLITTER& splitter) {
    m_list->setMinimumWidth(std::max(0, splitter.C0Min));
    m_curve->setMinimumWidth(std::max(0, splitter.C1Min));
    m_splitter->setMinimumHeight(std::max(0, splitter.R0Min));
    m_firstShow.Restore(m_splitter, {std::max(0, splitter.C0), std::max(0, splitter.C1)});
}

void CGraphWnd::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The first time without a saved layout the list takes a fifth of the width.
    m_firstShow.Shown(m_splitter);
}

void CGraphWnd::closeEvent(QCloseEvent* event) {
    // Closing only hides the window: its rows, curves and plotting stay.
    event->ignore();
    hide();
}

void CGraphWnd::OnRun() {
    m_list->SetPaused(false);
    m_curve->Engine().Freeze(false);
    UpdateCommands();
}

void CGraphWnd::OnPause() {
    m_list->SetPaused(true);
    m_curve->Engine().Freeze(true);
    UpdateCommands();
}

void CGraphWnd::OnPanel() {
    m_curve->EditPanelSettings();
}

void CGraphWnd::OnPan() {
    m_curve->SetMouseMode(CGraphCurveView::kScroll);
    UpdateCommands();
}

void CGraphWnd::OnToStart() {
    m_curve->GoToStart();
    m_curve->update();
}

void CGraphWnd::OnToEnd() {
    m_curve->GoToEnd();
    m_curve->update();
}

void CGraphWnd::OnCursor() {
    m_curve->SetMouseMode(CGraphCurveView::kCursor);
    UpdateCommands();
}

void CGraphWnd::UpdateCommands() {
    const bool online = m_deps.isOnline && m_deps.isOnline();
    const bool frozen = m_curve->Engine().IsFrozen();
    const int mode = m_curve->MouseMode();
    const bool browse = active() && frozen;
    m_run->setEnabled(online && frozen);
    m_pause->setEnabled(online && !frozen);
    m_pan->setEnabled(browse);
    m_pan->setChecked(browse && mode == CGraphCurveView::kScroll);
    m_toStart->setEnabled(browse && mode == CGraphCurveView::kScroll);
    m_toEnd->setEnabled(browse && mode == CGraphCurveView::kScroll);
    m_cursor->setEnabled(browse);
    m_cursor->setChecked(browse && mode == CGraphCurveView::kCursor);
}
