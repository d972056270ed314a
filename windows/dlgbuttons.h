#pragma once
// The "确定" and "取消" row at the foot of a dialog.
class QDialog;
class QLayout;
class QPushButton;

namespace vex {

struct OkCancelButtons {
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
};

// Gives `dialog` its layout: `body` above a row of "确定" and "取消" at the right. 确定 (object name "ok") is
// the default button; the caller connects it. 取消 ("cancel") rejects the dialog and is no auto-default
// button: Enter while it has the focus still means 确定.
OkCancelButtons LayOutOkCancel(QDialog& dialog, QLayout* body);

}  // namespace vex
