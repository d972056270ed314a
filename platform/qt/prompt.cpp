#include "platform/qt/prompt.h"

#include <QColor>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include <atomic>
#include <utility>
#include <vector>

namespace vex {
namespace {

class QtPrompt final : public Prompt {
public:
    MsgResult message(QWidget* parent, const QString& text, const QString& caption, MsgButtons buttons,
                      MsgIcon icon) override {
        QMessageBox box(parent);
        box.setWindowTitle(caption);
        box.setText(text);
        box.setIcon(qtIcon(icon));
        // The buttons carry the program's own texts; the first one is the default.
        std::vector<std::pair<QPushButton*, MsgResult>> made;
        auto add = [&](const char* label, QMessageBox::ButtonRole role, MsgResult result) {
            made.emplace_back(box.addButton(QString::fromUtf8(label), role), result);
        };
        switch (buttons) {
            case MsgButtons::Ok:
                add("确定", QMessageBox::AcceptRole, MsgResult::Ok);
                break;
            case MsgButtons::OkCancel:
                add("确定", QMessageBox::AcceptRole, MsgResult::Ok);
                add("取消", QMessageBox::RejectRole, MsgResult::Cancel);
                break;
            case MsgButtons::YesNo:
                add("是", QMessageBox::YesRole, MsgResult::Yes);
                add("否", QMessageBox::NoRole, MsgResult::No);
                break;
            case MsgButtons::YesNoCancel:
                add("是", QMessageBox::YesRole, MsgResult::Yes);
                add("否", QMessageBox::NoRole, MsgResult::No);
                add("取消", QMessageBox::RejectRole, MsgResult::Cancel);
                break;
        }
        box.setDefaultButton(made.front().first);
        box.setEscapeButton(made.back().first);
        box.exec();
        for (const auto& [button, result] : made)
            if (box.clickedButton() == button) return result;
        return made.back().second;
    }

    QString openFile(QWidget* parent, const QString& caption, const QString& dir,
                     const QString& filter) override {
        return QFileDialog::getOpenFileName(parent, caption, dir, filter);
    }
    QString saveFile(QWidget* parent, const QString& caption, const QString& dir,
                     const QString& filter) override {
        return QFileDialog::getSaveFileName(parent, caption, dir, filter);
    }
    QStringList openFiles(QWidget* parent, const QString& caption, const QString& dir,
                          const QString& filter) override {
        return QFileDialog::getOpenFileNames(parent, caption, dir, filter);
    }
    QString chooseFolder(QWidget* parent, const QString& caption, const QString& dir) override {
        return QFileDialog::getExistingDirectory(parent, caption, dir);
    }
    std::optional<uint32_t> chooseColour(QWidget* parent, uint32_t initial, const QString& caption) override {
        const QColor start(static_cast<int>(initial & 0xFFu), static_cast<int>((initial >> 8) & 0xFFu),
                           static_cast<int>((initial >> 16) & 0xFFu));
        const QColor c = QColorDialog::getColor(start, parent, caption);
        if (!c.isValid()) return std::nullopt;
        return static_cast<uint32_t>(c.red()) | (static_cast<uint32_t>(c.green()) << 8) |
               (static_cast<uint32_t>(c.blue()) << 16);
    }

private:
    static QMessageBox::Icon qtIcon(MsgIcon icon) {
        switch (icon) {
            case MsgIcon::Information:
                return QMessageBox::Information;
            case MsgIcon::Warning:
                return QMessageBox::Warning;
            case MsgIcon::Error:
                return QMessageBox::Critical;
            case MsgIcon::Question:
                return QMessageBox::Question;
            case MsgIcon::None:
                break;
        }
        return QMessageBox::NoIcon;
    }
};

QtPrompt g_qtPrompt;
std::atomic<Prompt*> g_current{nullptr};

}  // namespace

Prompt& CurrentPrompt() {
    Prompt* p = g_current.load();
    return p ? *p : g_qtPrompt;
}

void SetCurrentPrompt(Prompt* prompt) {
    g_current.store(prompt);
}

MsgResult ShowMessage(QWidget* parent, const QString& text, MsgButtons buttons, MsgIcon icon) {
    return CurrentPrompt().message(parent, text, AppCaption(), buttons, icon);
}

ScopedPrompt::ScopedPrompt(Prompt& prompt) : m_previous(g_current.exchange(&prompt)) {}
ScopedPrompt::~ScopedPrompt() {
    g_current.store(m_previous);
}

}  // namespace vex
