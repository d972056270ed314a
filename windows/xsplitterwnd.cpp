#include "windows/xsplitterwnd.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QSplitterHandle>

namespace {

class CxSplitterHandle : public QSplitterHandle {
public:
    CxSplitterHandle(Qt::Orientation orientation, CxSplitterWnd* parent)
        : QSplitterHandle(orientation, parent), m_owner(parent) {}

    void UpdateCursor() {
        if (m_owner->IsMovable())
            setCursor(orientation() == Qt::Horizontal ? Qt::SplitHCursor : Qt::SplitVCursor);
        else
            unsetCursor();
    }

protected:
    bool event(QEvent* event) override {
        // The base sets the split cursor whenever its orientation is set; a locked bar takes it back.
        if (event->type() == QEvent::CursorChange && !m_owner->IsMovable() && testAttribute(Qt::WA_SetCursor))
            unsetCursor();
        return QSplitterHandle::event(event);
    }

    // Bars are drawn flat in the 3D highlight colour.
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Light));
    }

    void mousePressEvent(QMouseEvent* event) override {
        m_pressPos = event->position();
        QSplitterHandle::mousePressEvent(event);
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        if (m_owner->IsMovable())
            QSplitterHandle::mouseMoveEvent(event);
        else
            event->accept();
    }

    void mouseReleaseEvent(QMouseEvent* event) override {
        if (m_owner->IsMovable()) {
            QSplitterHandle::mouseReleaseEvent(event);
            return;
        }
        // Ends the press where it began, so that neither resize mode moves the bar.
        QMouseEvent atPress(event->type(), m_pressPos, mapToGlobal(m_pressPos), event->button(),
                            event->buttons(), event->modifiers());
        QSplitterHandle::mouseReleaseEvent(&atPress);
        event->accept();
    }

private:
    CxSplitterWnd* m_owner;
    QPointF m_pressPos;
};

}  // namespace

CxSplitterWnd::CxSplitterWnd(QWidget* parent) : QSplitter(parent) {}

CxSplitterWnd::CxSplitterWnd(Qt::Orientation orientation, QWidget* parent) : QSplitter(orientation, parent) {}

void CxSplitterWnd::SetMovable(bool movable) {
    m_bMovable = movable;
    for (int i = 0; i < count(); ++i) {
        if (auto* bar = dynamic_cast<CxSplitterHandle*>(handle(i))) bar->UpdateCursor();
    }
}

QWidget* CxSplitterWnd::GetActivePane(int* row, int* column) const {
    QWidget* focused = QApplication::focusWidget();
    const int index = focused ? indexOf(focused) : -1;
    if (index < 0) return nullptr;
    if (row) *row = orientation() == Qt::Vertical ? index : 0;
    if (column) *column = orientation() == Qt::Vertical ? 0 : index;
    return focused;
}

void CxSplitterWnd::SetActivePane(int row, int column, QWidget* pane) {
    if (!pane) {
        const bool vertical = orientation() == Qt::Vertical;
        if ((vertical ? column : row) != 0) return;
        pane = widget(vertical ? row : column);
    }
    if (pane) pane->setFocus(Qt::OtherFocusReason);
}

QSplitterHandle* CxSplitterWnd::createHandle() {
    auto* bar = new CxSplitterHandle(orientation(), this);
    bar->UpdateCursor();
    return bar;
}
