#include "tests/common/fakeprompt.h"

namespace vex {

void FakePrompt::clear() {
    messages.clear();
    requests.clear();
    answers.clear();
    paths.clear();
    pathLists.clear();
    colours.clear();
}

MsgResult FakePrompt::message(QWidget*, const QString& text, const QString& caption, MsgButtons buttons,
                              MsgIcon icon) {
    messages.push_back({text, caption, buttons, icon});
    if (!answers.empty()) {
        const MsgResult r = answers.front();
        answers.pop_front();
        return r;
    }
    return buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel ? MsgResult::Yes
                                                                              : MsgResult::Ok;
}

QString FakePrompt::nextPath() {
    if (paths.empty()) return QString();
    QString p = paths.front();
    paths.pop_front();
    return p;
}

QString FakePrompt::openFile(QWidget*, const QString& caption, const QString& dir, const QString& filter) {
    requests.push_back({Chooser::OpenFile, caption, dir, filter});
    return nextPath();
}

QString FakePrompt::saveFile(QWidget*, const QString& caption, const QString& dir, const QString& filter) {
    requests.push_back({Chooser::SaveFile, caption, dir, filter});
    return nextPath();
}

QStringList FakePrompt::openFiles(QWidget*, const QString& caption, const QString& dir,
                                  const QString& filter) {
    requests.push_back({Chooser::OpenFiles, caption, dir, filter});
    if (pathLists.empty()) return {};
    QStringList l = pathLists.front();
    pathLists.pop_front();
    return l;
}

QString FakePrompt::chooseFolder(QWidget*, const QString& caption, const QString& dir) {
    requests.push_back({Chooser::Folder, caption, dir, QString()});
    return nextPath();
}

std::optional<uint32_t> FakePrompt::chooseColour(QWidget*, uint32_t initial, const QString& caption) {
    requests.push_back({Chooser::Colour, caption, QString(), QString(), initial});
    if (colours.empty()) return std::nullopt;
    const auto c = colours.front();
    colours.pop_front();
    return c;
}

}  // namespace vex
