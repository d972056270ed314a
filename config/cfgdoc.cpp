#include "config/cfgdoc.h"

#include <filesystem>
#include <system_error>

namespace cfgdoc {

DocLoad loadDoc(const std::string& path, CXmlDoc& doc, std::string& text, std::string& detail) {
    text.clear();
    detail.clear();
    if (!doc.LoadFile(path)) {
        detail = doc.GetResult();
        std::error_code ec;
        const bool present = std::filesystem::exists(std::filesystem::symlink_status(path, ec));
        return present ? DocLoad::Unreadable : DocLoad::Missing;
    }
    text = doc.GetText();
    if (doc.Parse()) return DocLoad::Ok;
    detail = doc.GetResult();
    return doc.FindNextElem() ? DocLoad::IllFormed : DocLoad::NoElement;
}

std::string readFailed(const std::string& path, const std::string& detail) {
    return "无法读取文件 " + path + "：" + detail;
}

std::string illFormed(const std::string& path, const std::string& detail) {
    return "文件 " + path + " 格式错误：" + detail;
}

std::string writeFailed(const std::string& path, const std::string& detail) {
    return "无法写入文件 " + path + "：" + detail;
}

}  // namespace cfgdoc
