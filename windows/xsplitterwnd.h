#pragma once
// A splitter whose bars can be locked against the mouse. It works in any parent (a dialog as well as a
// frame window); the panes are added and sized through QSplitter's own operations.
#include <QSplitter>

class CxSplitterWnd : public QSplitter {
    Q_OBJECT
public:
    explicit CxSplitterWnd(QWidget* parent = nullptr);
    explicit CxSplitterWnd(Qt::Orientation orientation, QWidget* parent = nullptr);

    // Movable (the default): the bars follow mouse drags and show the split cursors. Locked: a press on a
    // bar still reaches the splitter, but the bar does not follow the mouse, neither while the button is
    // down nor at its release, and shows no split cursor. Sizes set by the program apply either way.
    void SetMovable(bool movable);
    bool IsMovable() const { return m_bMovable; }

    // The pane that has the keyboard focus, with its row and column through the outputs (a vertical
    // splitter stacks rows, a horizontal one lines up columns); nullptr when the focused widget is not one
    // of the panes.
    QWidget* GetActivePane(int* row = nullptr, int* column = nullptr) const;
    // Gives the keyboard focus to `pane`, or, when null, to the pane at (row, column) if there is one.
    void SetActivePane(int row, int column, QWidget* pane = nullptr);

protected:
    QSplitterHandle* createHandle() override;

private:
    bool m_bMovable = true;
};
