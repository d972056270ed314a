#pragma once
// "回放": the replay control. The user chooses a ".crm" log, divides it into pages by a time span or by a
// number of frames, and steps through the pages; each page shown goes into the data hub through the replay
// engine, so the trace and the graph show it as if it had just been received.
//
// Opening reopens the file last replayed (and forgets it when it no longer opens). The paging settings
// come from and go back to the configuration's replay settings. Runs on the GUI thread, not modal; a page
// longer than the hub's frame queue is pushed on a 10 ms timer as the queue drains.
#include <QDialog>

#include <cstdint>
#include <functional>
#include <string>

#include "config/cfgrecords.h"

class CCanReplay;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

class CCanReplayControlDlg : public QDialog {
    Q_OBJECT
public:
    // Period of the push timer.
    static constexpr int kPushMs = 10;

    CCanReplayControlDlg(CCanReplay& engine, tCFG_SET_REPLAY& settings, QWidget* parent = nullptr);

    // Runs before a page is loaded: the owner makes its trace live and starts its graph on the page.
    void SetPageHook(std::function<void()> hook) { m_pageHook = std::move(hook); }

    // The buttons, as the user presses them.
    void OnChoose();    // "选择"
    void OnPaging();    // "分页"
    void OnFirst();     // "首页"
    void OnPrevious();  // "上一页"
    void OnNext();      // "下一页"
    void OnLast();      // "尾页"
    void OnShowPage();  // "当前页"

    const std::string& path() const { return m_path; }
    double duration() const { return m_duration; }
    uint32_t recordCount() const { return m_count; }
    uint32_t pageCount() const { return m_pageCount; }
    int32_t currentPage() const { return m_currentPage; }
    // True while frames of the page shown last still wait for room in the hub's queue.
    bool IsPushing() const;

private:
    // The fields into the members; false (after a message) when one does not hold its number.
    bool readFields();
    void showFields();
    void openRemembered();
    void setFile(const std::string& path, bool opened, uint32_t count, double duration);
    void pushPending();

    CCanReplay& m_engine;
    tCFG_SET_REPLAY& m_settings;
    std::function<void()> m_pageHook;

    std::string m_path;
    double m_duration = 0.0;
    uint32_t m_count = 0;
    double m_pageSpan = 0.0;
    uint32_t m_perPage = 0;
    uint32_t m_startIndex = 0;
    double m_startTime = 0.0;
    int32_t m_currentPage = 0;
    uint32_t m_pageCount = 0;

    QLineEdit* m_pathEdit;
    QLineEdit* m_durationEdit;
    QLineEdit* m_countEdit;
    QRadioButton* m_byTime;
    QRadioButton* m_byCount;
    QLineEdit* m_startTimeEdit;
    QLineEdit* m_spanEdit;
    QLineEdit* m_startIndexEdit;
    QLineEdit* m_perPageEdit;
    QLineEdit* m_pageCountEdit;
    QLineEdit* m_currentPageEdit;
    QTimer* m_pushTimer;
};
