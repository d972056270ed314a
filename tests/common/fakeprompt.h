#pragma once
// A scripted prompt for tests: records every request and answers from queues, never opening a window.
//
//   vex::FakePrompt fake;
//   vex::ScopedPrompt use(fake);
//   fake.answers.push_back(vex::MsgResult::No);      // the next message box answers No
//   ... run the code ...
//   ASSERT_EQ(fake.messages.size(), 1u);
//   EXPECT_EQ(fake.messages[0].text, QString("..."));
#include "platform/qt/prompt.h"

#include <deque>
#include <vector>

namespace vex {

class FakePrompt : public Prompt {
public:
    struct Message {
        QString text;
        QString caption;
        MsgButtons buttons;
        MsgIcon icon;
    };
    enum class Chooser { OpenFile, SaveFile, OpenFiles, Folder, Colour };
    struct Request {
        Chooser kind;
        QString caption;
        QString dir;
        QString filter;
        uint32_t initialColour = 0;
    };

    std::vector<Message> messages;  // every message shown, in order
    std::vector<Request> requests;  // every chooser opened, in order

    // Answers to message boxes. When empty, a box answers Ok (Yes for the Yes/No sets).
    std::deque<MsgResult> answers;
    // Answers to the path choosers, taken in order by openFile, saveFile and chooseFolder; when empty
    // they answer "" (cancelled).
    std::deque<QString> paths;
    // Answers to openFiles; when empty it answers an empty list (cancelled).
    std::deque<QStringList> pathLists;
    // Answers to chooseColour; when empty it answers no colour (cancelled).
    std::deque<std::optional<uint32_t>> colours;

    // The text of the last message shown, or "" when there was none.
    QString lastText() const { return messages.empty() ? QString() : messages.back().text; }
    void clear();

    MsgResult message(QWidget* parent, const QString& text, const QString& caption, MsgButtons buttons,
                      MsgIcon icon) override;
    QString openFile(QWidget* parent, const QString& caption, const QString& dir,
                     const QString& filter) override;
    QString saveFile(QWidget* parent, const QString& caption, const QString& dir,
                     const QString& filter) override;
    QStringList openFiles(QWidget* parent, const QString& caption, const QString& dir,
                          const QString& filter) override;
    QString chooseFolder(QWidget* parent, const QString& caption, const QString& dir) override;
    std::optional<uint32_t> chooseColour(QWidget* parent, uint32_t initial, const QString& caption) override;

private:
    QString nextPath();
};

}  // namespace vex
