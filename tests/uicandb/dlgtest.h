#pragma once
// Helpers of the editor suites: acting on a modal dialog once it runs, clicking rows and cells, and
// scripted answers in place of the editor's sub-dialogs.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/candb/dbdialogs.h"

namespace dlgtest {

template <class T>
T* Child(QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

inline void Click(QWidget& w, const char* button) {
    QTest::mouseClick(Child<QPushButton>(w, button), Qt::LeftButton);
}

inline void SetText(QWidget& w, const char* edit, const QString& text) {
    Child<QLineEdit>(w, edit)->setText(text);
}

// Runs `act` once on the modal dialog of type T as soon as one is the active modal widget (a nested
// exec() started by the code under test). The pending flag tells whether it ran.
template <class T>
std::shared_ptr<bool> WhenModal(std::function<void(T&)> act) {
    auto pending = std::make_shared<bool>(true);
    auto* timer = new QTimer(qApp);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act, pending] {
        auto* dlg = qobject_cast<T*>(QApplication::activeModalWidget());
        if (dlg == nullptr || !dlg->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        *pending = false;
        act(*dlg);
    });
    timer->start();
    return pending;
}

// A press and a click at the centre of a row's first cell (-1 keeps the selection and clicks off the
// rows), and a double click there.
inline QPoint RowPoint(QAbstractItemView& view, int row, int column = 0) {
    if (row < 0) return {view.viewport()->width() - 2, view.viewport()->height() - 2};
    return view.visualRect(view.model()->index(row, column)).center();
}
inline void ClickRow(QAbstractItemView& view, int row, int column = 0) {
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, RowPoint(view, row, column));
}
inline void DoubleClickRow(QAbstractItemView& view, int row, int column = 0) {
    const QPoint at = RowPoint(view, row, column);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, at);
}

// Scripted sub-dialogs: each call is logged; a call without its handler answers cancel.
class FakeDbDialogs : public candbui::CCanDbDialogs {
public:
    std::vector<std::string> log;
    std::function<bool(uint8_t mode, const std::string& presel, CCanMsg&)> onMsg;
    std::function<bool(const CCanMsg&, CCanSignal&)> onSignal;
    std::function<bool(tCAN_SIGNAL_ENUM&)> onEnum;
    std::function<bool(tCFG_CAN_DATABASE&)> onDatabase;
    std::function<bool(candbui::tDB_ATTRIBUTES&)> onAttributes;

    bool EditDatabase(QWidget*, const std::vector<tCFG_CAN_DATABASE>*, tCFG_CAN_DATABASE& e) override {
        log.push_back("database " + e.Name);
        return onDatabase && onDatabase(e);
    }
    bool EditDbAttributes(QWidget*, const std::vector<tCFG_CAN_DATABASE>*,
                          candbui::tDB_ATTRIBUTES& a) override {
        log.push_back("attributes " + a.Name);
        return onAttributes && onAttributes(a);
    }
    bool EditMsg(QWidget*, const tCAN_DATABASE*, uint8_t mode, const std::string& presel,
                 CCanMsg& m) override {
        log.push_back("msg " + std::to_string(mode) + " " + m.Name +
                      (presel.empty() ? "" : " presel " + presel));
        return onMsg && onMsg(mode, presel, m);
    }
    bool EditSignal(QWidget*, const tCAN_DATABASE*, const CCanMsg& msg, CCanSignal& s) override {
        log.push_back("signal " + s.Name + " in " + msg.Name);
        return onSignal && onSignal(msg, s);
    }
    bool EditEnum(QWidget*, const tCAN_DATABASE*, tCAN_SIGNAL_ENUM& t) override {
        log.push_back("enum " + t.Name);
        return onEnum && onEnum(t);
    }
};

}  // namespace dlgtest
