#include "logging/logcvtjob.h"

#include <vector>

#include "logging/canmsgasctxtfile.h"
#include "logging/canmsgbincrmfile.h"
#include "logging/canmsgmdflogfile.h"

namespace {

struct LogFormat {
    std::string_view extension, typeText;
};
constexpr LogFormat kFormats[] = {{"crm", "bin-crm"}, {"log", "mdf-log"}, {"txt", "asc-txt"}};

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace

std::unique_ptr<CCanMsgFile> MakeLogFile(std::string_view extension) {
    if (extension == "crm") return std::make_unique<CCanMsgBinCrmFile>();
    if (extension == "log") return std::make_unique<CCanMsgMdfLogFile>();
    if (extension == "txt") return std::make_unique<CCanMsgAscTxtFile>();
    return nullptr;
}

std::string_view LogTypeText(std::string_view extension) {
    for (const LogFormat& f : kFormats)
        if (f.extension == extension) return f.typeText;
    return {};
}

std::string_view LogTypeExtension(std::string_view typeText) {
    for (const LogFormat& f : kFormats)
        if (f.typeText == typeText) return f.extension;
    return {};
}

std::string LowerExtension(std::string_view path) {
    const size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : lower(name.substr(dot + 1));
}

std::string FileNameOfPath(std::string_view path) {
    const size_t slash = path.rfind('/');
    return lower(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string LogCvtTargetPath(std::string_view folder, std::string_view source, std::string_view extension) {
    std::string target(folder);
    if (target.empty() || target.back() != '/') target += '/';
    target += FileNameOfPath(source);
    target += '.';
    target += extension;
    return target;
}

std::string LogCvtDoneNote(uint64_t skippedLines, uint64_t unwritableFrames) {
    std::string note;
    if (skippedLines > 0) note = "跳过 " + std::to_string(skippedLines) + " 行";
    if (unwritableFrames > 0)
        note += (note.empty() ? "" : "；") + std::to_string(unwritableFrames) + " 帧无法写入文本记录，已跳过";
    return note.empty() ? note : "（" + note + "）";
}

CLogCvtJob::CLogCvtJob(std::string source, std::string sourceType, std::string target, std::string targetType)
    : m_Source(std::move(source)),
      m_SourceType(std::move(sourceType)),
      m_Target(std::move(target)),
      m_TargetType(std::move(targetType)) {}

CLogCvtJob::~CLogCvtJob() {
    Finish();
}

bool CLogCvtJob::Run() {
    if (m_SourceType.empty() || m_TargetType.empty() || m_SourceType == m_TargetType)
        return fail("源文件与目标文件格式相同。");
    std::unique_ptr<CCanMsgFile> reader = MakeLogFile(m_SourceType);
    std::unique_ptr<CCanMsgFile> writer = MakeLogFile(m_TargetType);
    if (!reader || !writer) return fail("未知的记录文件格式。");

    uint32_t count = 0;
    double duration = 0.0;
    // A text source is parsed whole here: Stop ends that too (a FIFO or a device may never end).
    reader->SetStopFlag(&StopFlag());
    if (!reader->OpenRead(m_Source, count, duration))
        return StopRequested() ? false : fail(reader->LastError());
    if (auto* text = dynamic_cast<CCanMsgAscTxtFile*>(reader.get())) m_SkippedLines = text->SkippedLines();
    if (auto* mdf = dynamic_cast<CCanMsgMdfLogFile*>(reader.get())) m_SourceDamage = mdf->DamageText();
    // Dropping the writer without CloseWrite leaves the target as it was: every failure below does so.
    if (!writer->OpenWrite(m_Target)) return fail(writer->LastError());
    setCount(count);
    setPhase(Phase::Started);
    if (count == 0) return fail("源文件中没有报文。");

    setPhase(Phase::Running);
    std::vector<tCAN_RAW_MSG> frames(kChunk);
    for (uint32_t i = 0; i < count;) {
        if (StopRequested()) return false;
        const uint32_t n = std::min(kChunk, count - i);
        uint32_t got = 0;
        if (!reader->ReadByIndex(i, n, frames.data(), kChunk, got) || got != n)
            return fail("读取第" + std::to_string(uint64_t{i} + got + 1) + "条报文失败。" +
                        reader->LastError());
        for (uint32_t k = 0; k < n; ++k) writer->WriteMsg(frames[k]);
        i += n;
        setIndex(i, count);
    }
    setPhase(Phase::Saving);
    reader->CloseRead();
    if (auto* text = dynamic_cast<CCanMsgAscTxtFile*>(writer.get()))
        m_UnwritableFrames = text->UnwritableFrames();
    if (!writer->CloseWrite()) return fail(writer->LastError());
    return true;
}
