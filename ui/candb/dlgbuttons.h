#pragma once
// The buttons and button rows the database editor's dialogs share.
#include <initializer_list>

class QDialog;
class QHBoxLayout;
class QPushButton;
class QWidget;

namespace candbui {

// A push button with the object name; Enter presses it only while it has the focus or is the default.
QPushButton* DlgButton(QWidget* parent, const char* text, const char* name);

// The dialog's bottom row, OK and cancel at its right: OK becomes the default button and runs the
// dialog's accept(), cancel rejects.
QHBoxLayout* OkCancelRow(QDialog* dlg, QPushButton* ok, QPushButton* cancel);

// `pane` taking the width, with the buttons in a column at its right (top aligned).
QHBoxLayout* PaneWithButtons(QWidget* pane, std::initializer_list<QPushButton*> buttons);

}  // namespace candbui
