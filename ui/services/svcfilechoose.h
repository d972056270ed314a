#pragma once
// The services' file questions through the current prompt: a chosen path that names no file shows the
// given message (caption, warning icon) and counts as no choice; a file to write gets the default
// extension when typed without one, and replacing an existing file under that completed name is asked.
#include <QString>

class QWidget;

struct SvcFileQuestion {
    QString filter;     // Qt form: "csv files(*.csv);;所有文件(*)"
    QString extension;  // without the dot
    QString emptyText;  // empty: a path without a file name counts as cancelled, silently
    QString caption;
};

QString AskServiceSaveFile(QWidget* parent, const SvcFileQuestion& question);
QString AskServiceOpenFile(QWidget* parent, const SvcFileQuestion& question);
