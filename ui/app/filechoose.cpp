#include "ui/app/filechoose.h"

#include <QFileInfo>

#include "platform/qt/prompt.h"

namespace {

// Empty when cancelled; the empty-name message when the path names a folder only.
QString checkName(QWidget* parent, const QString& path, const FileQuestion& q) {
    if (path.isEmpty()) return {};
    if (QFileInfo(path).fileName().isEmpty()) {
        vex::CurrentPrompt().message(parent, q.emptyText, q.caption, vex::MsgButtons::Ok,
                                     vex::MsgIcon::Warning);
        return {};
    }
    return path;
}

}  // namespace

QString AskSaveFile(QWidget* parent, const FileQuestion& q) {
    vex::Prompt& prompt = vex::CurrentPrompt();
    QString path = checkName(parent, prompt.saveFile(parent, q.caption, q.dir, q.filter), q);
    if (path.isEmpty() || q.extension.isEmpty() || !QFileInfo(path).suffix().isEmpty()) return path;
    // The chooser asked about replacing only the name as typed; the completed name is asked about here.
    path += QLatin1Char('.') + q.extension;
    if (QFileInfo::exists(path) &&
        prompt.message(parent, QStringLiteral("%1 已存在。\n要替换它吗?").arg(path),
                       QStringLiteral("确认另存为"), vex::MsgButtons::YesNo,
                       vex::MsgIcon::Warning) != vex::MsgResult::Yes)
        return {};
    return path;
}

QString AskOpenFile(QWidget* parent, const FileQuestion& q) {
    return checkName(parent, vex::CurrentPrompt().openFile(parent, q.caption, q.dir, q.filter), q);
}
