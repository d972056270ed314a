#include "logging/logtooljob.h"

#include "platform/numparse.h"

std::string ToolTimeText(double value, int decimals) {
    std::string text = vex::FormatFixed(value, decimals);
    if (text.find('.') != std::string::npos) {
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.') text.pop_back();
    }
    return text == "-0" ? "0" : text;
}

CLogToolJob::~CLogToolJob() {
    Finish();
}

void CLogToolJob::Start(std::function<void()> ended) {
    if (m_Thread.joinable() || phase() != Phase::Idle) return;
    m_Thread = std::thread([this, ended = std::move(ended)] {
        const bool ok = Run();
        // A stop that came too late to interrupt anything leaves a complete result: it counts as done.
        setPhase(ok ? Phase::Done : Phase::Failed);
        if (ended) ended();
    });
}

void CLogToolJob::Finish() {
    Stop();
    Join();
}

void CLogToolJob::Join() {
    if (m_Thread.joinable() && m_Thread.get_id() != std::this_thread::get_id()) m_Thread.join();
}

void CLogToolJob::setIndex(uint64_t index, uint64_t of) {
    m_Index.store(static_cast<uint32_t>(std::min<uint64_t>(index, UINT32_MAX)), std::memory_order_relaxed);
    m_Progress.store(ToolProgress(index, of), std::memory_order_relaxed);
}

bool CLogToolJob::fail(std::string reason) {
    m_Error = std::move(reason);
    return false;
}
