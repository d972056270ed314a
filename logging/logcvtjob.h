#pragma once
// Converting one log file into another format: every frame read from a reader of the source format and
// written to a writer of the target format, through the log-file interface. The target appears only when
// the whole conversion succeeded (the writers write atomically); a failed or stopped conversion leaves
// whatever had that name as it was.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "logging/canmsgfile.h"
#include "logging/logtooljob.h"

// The formats by their extension: "crm" (binary), "log" (MDF log), "txt" (text); any other gives null.
std::unique_ptr<CCanMsgFile> MakeLogFile(std::string_view extension);
// The type text of a format's extension ("bin-crm", "mdf-log", "asc-txt") and back; empty when unknown.
std::string_view LogTypeText(std::string_view extension);
std::string_view LogTypeExtension(std::string_view typeText);
// The extension of a path (after the last '.' of its last component), lower-cased; empty when none.
std::string LowerExtension(std::string_view path);
// The last component of a path (after the last '/'), its ASCII letters lower-cased.
std::string FileNameOfPath(std::string_view path);
// folder + "/" + FileNameOfPath(source) + "." + extension: "Trace01.crm" to text is "trace01.crm.txt".
std::string LogCvtTargetPath(std::string_view folder, std::string_view source, std::string_view extension);

// What a completed conversion's report line adds after "转换完成": "（跳过 N 行）" for lines of a text source
// that were not read, "（M 帧无法写入文本记录，已跳过）" for frames a text target could not hold, both in one
// pair of brackets when both happened; empty when neither did.
std::string LogCvtDoneNote(uint64_t skippedLines, uint64_t unwritableFrames);

class CLogCvtJob final : public CLogToolJob {
public:
    // Records read and written at once.
    static constexpr uint32_t kChunk = 4096;

    // Types are extensions ("crm", "log", "txt").
    CLogCvtJob(std::string source, std::string sourceType, std::string target, std::string targetType);
    ~CLogCvtJob() override;

    const std::string& Source() const { return m_Source; }
    const std::string& Target() const { return m_Target; }
    // Lines of a text source that were not frame lines, and frames the text target could not hold (each
    // left out): valid once the run has ended.
    uint64_t SkippedLines() const { return m_SkippedLines; }
    uint64_t UnwritableFrames() const { return m_UnwritableFrames; }
    // An MDF log source that declares more records than it holds: what the user is told of it (the records
    // it holds were converted); empty otherwise. Valid once the run has ended.
    const std::string& SourceDamage() const { return m_SourceDamage; }

protected:
    bool Run() override;

private:
    std::string m_Source, m_SourceType, m_Target, m_TargetType;
    uint64_t m_SkippedLines = 0;
    uint64_t m_UnwritableFrames = 0;
    std::string m_SourceDamage;
};
