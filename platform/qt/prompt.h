#pragma once
// Message boxes and the file, folder and colour choosers, reached only through this interface so that a
// test can answer them without a modal window. The process-wide current prompt is the Qt one unless a
// test installs another (ScopedPrompt). Used on the GUI thread.
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

class QWidget;

namespace vex {

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgResult { Ok, Cancel, Yes, No };

class Prompt {
public:
    virtual ~Prompt() = default;

    // Shows a message and returns the button pressed; closing the box counts as Cancel (Ok, No with
    // the buttons that have no Cancel).
    virtual MsgResult message(QWidget* parent, const QString& text, const QString& caption,
                              MsgButtons buttons = MsgButtons::Ok, MsgIcon icon = MsgIcon::Warning) = 0;

    // The choosers return an empty path (list) or no colour when the user cancels. `filter` takes Qt's
    // "Text (*.txt);;All (*)" form.
    virtual QString openFile(QWidget* parent, const QString& caption, const QString& dir,
                             const QString& filter) = 0;
    virtual QString saveFile(QWidget* parent, const QString& caption, const QString& dir,
                             const QString& filter) = 0;
    virtual QStringList openFiles(QWidget* parent, const QString& caption, const QString& dir,
                                  const QString& filter) = 0;
    virtual QString chooseFolder(QWidget* parent, const QString& caption, const QString& dir) = 0;
    // Colours are 0x00BBGGRR (red in the low byte).
    virtual std::optional<uint32_t> chooseColour(QWidget* parent, uint32_t initial,
                                                 const QString& caption) = 0;
};

// The caption of the program's own message boxes.
inline QString AppCaption() {
    return QStringLiteral("Vexarium");
}

// The current prompt: the Qt one by default.
Prompt& CurrentPrompt();
// Installs a prompt (not owned); nullptr puts the Qt one back.
void SetCurrentPrompt(Prompt* prompt);

// Shorthand for CurrentPrompt().message(...) with the program's caption.
MsgResult ShowMessage(QWidget* parent, const QString& text, MsgButtons buttons = MsgButtons::Ok,
                      MsgIcon icon = MsgIcon::Warning);

// Installs a prompt for the lifetime of the object and restores the previous one afterwards.
class ScopedPrompt {
public:
    explicit ScopedPrompt(Prompt& prompt);
    ~ScopedPrompt();
    ScopedPrompt(const ScopedPrompt&) = delete;
    ScopedPrompt& operator=(const ScopedPrompt&) = delete;

private:
    Prompt* m_previous;
};

}  // namespace vex
