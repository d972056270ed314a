#include "windows/graphcurveview.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "app/hubstores.h"

CGraphCurveView::CGraphCurveView(tCFG_SET_GRAPH& settings, QWidget* parent)
    : QWidget(parent), m_settings(settings), m_tickTimer(new QTimer(this)), m_repaintTimer(new QTimer(this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(60, 80);
    m_tickTimer->setInterval(static_cast<int>(std::lround(CGraphPlot::kRefreshPeriod)));
    m_repaintTimer->setInterval(kRepaintTimerMs);
    connect(m_tickTimer, &QTimer::timeout, this, [this] { OnTimer(250); });
    connect(m_repaintTimer, &QTimer::timeout, this, [this] { OnTimer(500); });
    setClientRect();
    m_repaintTimer->start();
}

void CGraphCurveView::setClientRect() {
    m_plot.SetClientRect({0, 0, width(), height()});
}

const tGRAPH_SIGNAL_CURVE_MAP* CGraphCurveView::find(uint32_t msgKey, const std::string& name) const {
    for (const tGRAPH_SIGNAL_CURVE_MAP& e : m_map)
        if (e.MsgKey == msgKey && e.SigName == name) return &e;
    return nullptr;
}

void CGraphCurveView::rebuildIndex() {
    m_index.Clear();
    for (const tGRAPH_SIGNAL_CURVE_MAP& e : m_map) m_index.Add(e.MsgKey, e.SigName, e.Slot);
}

void CGraphCurveView::AddCurve(uint32_t msgKey, const tCFG_SET_GRAPH_SIG& sig) {
    const CCanSignal& s = sig.CanSig;
    if (find(msgKey, s.Name) != nullptr) return;
    const int32_t slot = m_plot.AddCurve(s.Name, s.Unit, s.Enum != 0, sig.Color, sig.ShowMin, sig.ShowMax);
    if (slot < 0) return;
    // The stored point type, so that a configuration shows the markers it was saved with.
    m_plot.Curve(slot).PointType = sig.PointType;
    m_map.push_back({msgKey, s.Name, slot});
    m_index.Add(msgKey, s.Name, slot);
    m_plot.Curve(slot).Shown = true;
    if (s.Enum != 0)
        for (const tCAN_SIGNAL_ENUM_ITEM& item : s.SigEnum.Items)
            m_plot.AddCurveEnumTick(slot, item.val, item.txt);
}

void CGraphCurveView::RemoveCurve(uint32_t msgKey, const std::string& name) {
    const auto it = std::find_if(m_map.begin(), m_map.end(), [&](const tGRAPH_SIGNAL_CURVE_MAP& e) {
        return e.MsgKey == msgKey && e.SigName == name;
    });
    if (it == m_map.end()) return;
    m_plot.RemoveCurve(it->Slot);
    m_map.erase(it);
    rebuildIndex();
}

void CGraphCurveView::AddSample(const tCAN_SIG_SAMPLE_DATA& sample) {
    const int32_t slot = m_index.Find(static_cast<uint32_t>(sample.MsgKey), sample.SigName);
    if (slot >= 0) m_plot.AddSample(slot, sample.TimeMs, sample.PhyValue);
}

void CGraphCurveView::SelectCurve(uint32_t msgKey, const std::string& name) {
    if (const auto* e = find(msgKey, name); e != nullptr && CGraphPlot::ValidSlot(e->Slot))
        m_plot.SetCurrentCurve(e->Slot);
}

void CGraphCurveView::ShowCurve(uint32_t msgKey, const std::string& name, bool shown) {
    if (const auto* e = find(msgKey, name); e != nullptr && CGraphPlot::ValidSlot(e->Slot))
        m_plot.Curve(e->Slot).Shown = shown;
}

void CGraphCurveView::UpdateCurve(uint32_t msgKey, const std::string& name, double minimum, double maximum,
                                  uint32_t color, int32_t pointType) {
    const auto* e = find(msgKey, name);
    if (e == nullptr || !CGraphPlot::ValidSlot(e->Slot)) return;
    m_plot.SetCurveRange(e->Slot, minimum, maximum);
    m_plot.Curve(e->Slot).Color = color;
    m_plot.Curve(e->Slot).PointType = pointType;
}

void CGraphCurveView::StartCurves() {
    m_tickTimer->start();
    m_plot.Freeze(false);
    m_plot.Reset();
}

void CGraphCurveView::StopCurves() {
    m_plot.Freeze(true);
    m_tickTimer->stop();
}

void CGraphCurveView::ApplyPanelSettings() {
    m_plot.SetGridShown(m_settings.GraphGridShow != 0);
    m_plot.SetTimeLength(m_settings.XAxisTimeLength);
    m_plot.XAxis().Layout(m_plot.XAxis().rect());
    m_plot.SetYAxisShowMode(m_settings.YAxisShowMode);
    m_plot.BackgroundColor = m_settings.BackgroundColor;
    m_plot.XAxisColor = m_settings.XAxisColor;
    m_plot.GridColor = m_settings.GridColor;
    m_plot.SetPageTurning(m_settings.PageTurningMode != 0);
}

void CGraphCurveView::EditPanelSettings() {
    if (!m_panelEditor) return;
    GraphPanelValues v;
    v.GridShown = m_settings.GraphGridShow != 0;
    v.PageTurning = m_settings.PageTurningMode != 0;
    v.BackgroundColor = m_settings.BackgroundColor;
    v.GridColor = m_settings.GridColor;
    v.XAxisColor = m_settings.XAxisColor;
    v.TimeLength = m_settings.XAxisTimeLength;
    v.YMode = m_settings.YAxisShowMode;
    if (!m_panelEditor(v, this)) return;
    if (m_plot.IsFrozen() && v.TimeLength < m_settings.XAxisTimeLength) GoToStart();
    m_settings.GraphGridShow = v.GridShown ? 1 : 0;
    m_settings.PageTurningMode = v.PageTurning ? 1 : 0;
    m_settings.BackgroundColor = v.BackgroundColor;
    m_settings.GridColor = v.GridColor;
    m_settings.XAxisColor = v.XAxisColor;
    m_settings.XAxisTimeLength = v.TimeLength;
    m_settings.YAxisShowMode = v.YMode;
    ApplyPanelSettings();
}

void CGraphCurveView::GoToStart() {
    m_plot.GoToStart();
}

void CGraphCurveView::GoToEnd() {
    m_plot.GoToEnd();
}

void CGraphCurveView::OnTimer(int id) {
    if (id == 500) {
        update();
        emit repainted();
    } else if (id == 250) {
        m_plot.Tick();
    }
}

void CGraphCurveView::paintEvent(QPaintEvent*) {
    if (m_image.size() != size()) m_image = QImage(size(), QImage::Format_RGB32);
    if (m_image.isNull()) return;
    m_painter.Paint(m_plot, m_image);
    QPainter p(this);
    p.drawImage(0, 0, m_image);
}

void CGraphCurveView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    setClientRect();
}

void CGraphCurveView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_plot.IsFrozen()) return;
    const QPoint at = event->position().toPoint();
    m_lastX = at.x();
    m_lastY = at.y();
    m_buttonDown = true;
    if (m_mouseMode == kCursor) {
        m_plot.SetShowCursorReadout(true);
        m_plot.SetCursor(at.x(), at.y());
        update();
    }
}

void CGraphCurveView::mouseMoveEvent(QMouseEvent* event) {
    if (!m_buttonDown || !(event->buttons() & Qt::LeftButton) || !m_plot.IsFrozen()) return;
    const QPoint at = event->position().toPoint();
    if (m_mouseMode == kScroll) {
        const int dx = at.x() - m_lastX;
        if (dx < 1)
            m_plot.ScrollRight(-dx);
        else
            m_plot.ScrollLeft(dx);
        m_lastX = at.x();
        m_lastY = at.y();
        setClientRect();
    } else if (m_mouseMode == kCursor) {
        m_plot.SetCursor(at.x(), at.y());
    }
    update();
}

void CGraphCurveView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    m_buttonDown = false;
    m_plot.SetShowCursorReadout(false);
    update();
}
