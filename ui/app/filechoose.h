#pragma once
// The program's file questions through the current prompt: a file to write or to read, with a default
// extension and the message for a chosen name that names no file.
#include <QString>

class QWidget;

struct FileQuestion {
    QString filter;     // Qt form: "xml files(*.xml);;所有文件(*)"
    QString extension;  // without the dot: added to a name typed without one
    QString emptyText;  // shown (with caption, warning icon) when the path has no file name
    QString caption;
    QString dir;  // where the chooser starts; empty: the current folder
};

// A file to write. Empty when the user cancelled, named no file, or declined to replace an existing file
// under the name completed with the extension.
QString AskSaveFile(QWidget* parent, const FileQuestion& question);
// A file to read. Empty when the user cancelled or named no file.
QString AskOpenFile(QWidget* parent, const FileQuestion& question);
