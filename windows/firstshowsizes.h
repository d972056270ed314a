#pragma once
// A window's splitter sizes across its first showing. A splitter that has not been shown has no size to
// divide, so sizes restored before then are kept and applied when it first shows; shown without restored
// sizes, the first pane takes a fifth of the splitter along its orientation.
#include <QList>
#include <QSplitter>

#include <utility>

class CFirstShowSizes {
public:
    // Applies the sizes now once the window has been shown, else when it first shows.
    void Restore(QSplitter* splitter, QList<int> sizes) {
        if (m_shown)
            splitter->setSizes(sizes);
        else
            m_pending = std::move(sizes);
    }
    // From the window's showEvent: sizes the splitter the first time only.
    void Shown(QSplitter* splitter) {
        if (m_shown) return;
        m_shown = true;
        if (!m_pending.isEmpty()) {
            splitter->setSizes(m_pending);
            return;
        }
        const int extent = splitter->orientation() == Qt::Horizontal ? splitter->width() : splitter->height();
        splitter->setSizes({extent / 5, extent - extent / 5});
    }

private:
    QList<int> m_pending;
    bool m_shown = false;
};
