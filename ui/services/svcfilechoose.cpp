#include "ui/services/svcfilechoose.h"

#include <QFileInfo>

#include "platform/qt/prompt.h"

namespace {

QString checkName(QWidget* parent, const QString& path, const SvcFileQuestion& q) {
    if (path.isEmpty()) return {};
    if (QFileInfo(path).fileName().isEmpty()) {
        if (!q.emptyText.isEmpty())
            vex::CurrentPrompt().message(parent, q.emptyText, q.caption, vex::MsgButtons::Ok,
                                         vex::MsgIcon::Warning);
        return {};
    }
    return path;
}

}  // namespace

QString AskServiceSaveFile(QWidget* parent, const SvcFileQuestion& q) {
    vex::Prompt& prompt = vex::CurrentPrompt();
    QString path = checkName(parent, prompt.saveFile(parent, q.caption, {}, q.filter), q);
    if (path.isEmpty() || q.extension.isEmpty() || !QFileInfo(path).suffix().isEmpty()) return path;
    path += QLatin1Char('.') + q.extension;
    if (QFileInfo::exists(path) &&
        prompt.message(parent, QStringLiteral("%1 已存在。\n要替换它吗?").arg(path),
                       QStringLiteral("确认另存为"), vex::MsgButtons::YesNo,
                       vex::MsgIcon::Warning) != vex::MsgResult::Yes)
        return {};
    return path;
}

QString AskServiceOpenFile(QWidget* parent, const SvcFileQuestion& q) {
    return checkName(parent, vex::CurrentPrompt().openFile(parent, q.caption, {}, q.filter), q);
}
