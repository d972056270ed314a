#pragma once
// "关于 Vexarium": the program's name and version, the maker's web address, "确定" and
// "检测是否需要更新". Escape and the close box close it like "确定"; only the check button checks.
#include <QDialog>

#include <functional>

class QPushButton;

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    // The maker's web address shown in the box.
    static constexpr const char* kWebAddress = "http://www.vexarium.example";

    // `check` runs the user's update check, with this box as the place to show its result.
    explicit CAboutDlg(std::function<void(QWidget*)> check, QWidget* parent = nullptr);

    QPushButton* okButton() const { return m_ok; }
    QPushButton* checkButton() const { return m_check; }

private:
    QPushButton* m_ok;
    QPushButton* m_check;
};
