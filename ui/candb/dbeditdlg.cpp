#include "ui/candb/dbeditdlg.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QMenuBar>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

#include "candb/canxml.h"
#include "platform/clock.h"
#include "platform/qt/prompt.h"
#include "platform/xml/xmldoc.h"
#include "ui/candb/dbdialogs.h"
#include "ui/candb/dbeditcheck.h"
#include "ui/candb/dbeditlist.h"
#include "ui/candb/dbedittree.h"
#include "ui/candb/dbtreemodel.h"
#include "windows/fonts.h"
#include "windows/xsplitterwnd.h"

using namespace candbui;

namespace {

// "%04d年%02d月%02d日%02d时%02d分%02d秒" of the UTC time now.
std::string utcStamp() {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDate d = now.date();
    const QTime t = now.time();
    char text[64];
    std::snprintf(text, sizeof text, "%04d年%02d月%02d日%02d时%02d分%02d秒", d.year(), d.month(), d.day(),
                  t.hour(), t.minute(), t.second());
    return text;
}

}  // namespace

CCanDbEditDlg::CCanDbEditDlg(const std::vector<tCFG_CAN_DATABASE>* list, QWidget* parent)
    : QDialog(parent), m_cfgList(list) {
    setWindowTitle(QStringLiteral("CAN数据库编辑"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setFont(vex::ListFont());
    setSizeGripEnabled(true);
    auto* bar = new QMenuBar(this);
    auto add = [this](QMenu* menu, uint32_t id, const char* text) {
        QAction* a = menu->addAction(QString::fromUtf8(text));
        a->setData(id);
        m_actions[id] = a;
        return a;
    };
    QMenu* exit = bar->addMenu(QStringLiteral("退出"));
    connect(add(exit, ID_SAVE_EXIT, "保存退出"), &QAction::triggered, this, &CCanDbEditDlg::OnSaveExit);
    connect(add(exit, ID_CANCEL_EXIT, "取消退出"), &QAction::triggered, this, &QDialog::reject);
    QMenu* other = bar->addMenu(QStringLiteral("其他"));
    connect(add(other, ID_ATTRIBUTES, "数据库属性"), &QAction::triggered, this,
            &CCanDbEditDlg::OnDbAttributes);
    QMenu* exportMenu = bar->addMenu(QStringLiteral("导出"));
    add(exportMenu, ID_EXPORT, "导出为 vector dbc")->setEnabled(false);

    m_splitter = new CxSplitterWnd(Qt::Horizontal, this);
    m_splitter->setObjectName("paneSplitter");
    m_splitter->SetMovable(true);
    m_splitter->setChildrenCollapsible(false);
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    lay->setMenuBar(bar);
    lay->addWidget(m_splitter, 1);
    resize(1100, 560);
}

QAction* CCanDbEditDlg::Action(uint32_t id) const {
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CCanDbEditDlg::CreatePanes() {
    if (m_tree != nullptr) return;
    m_tree = new CCanDbEditTreeView(m_splitter);
    m_list = new CCanDbEditListView(m_splitter);
    m_splitter->addWidget(m_tree);
    m_splitter->addWidget(m_list);
    const int w = width();
    m_splitter->setSizes({w * 3 / 10, w * 7 / 10});
    m_tree->Db = &WorkDb;
    m_tree->RootText = QString::fromStdString(DbName);
    m_tree->Relay = this;
    m_list->Db = &WorkDb;
    m_list->Relay = this;
    m_tree->OnInitialUpdate();
}

int CCanDbEditDlg::exec() {
    CreatePanes();
    return QDialog::exec();
}

void CCanDbEditDlg::showEvent(QShowEvent* event) {
    CreatePanes();
    QDialog::showEvent(event);
    if (m_timersStarted) return;
    m_timersStarted = true;
    // The fingerprint as soon as the window runs, then the attributes of a new database once.
    QTimer::singleShot(0, this, [this] { OnTimer(100); });
    QTimer::singleShot(100, this, [this] { OnTimer(200); });
}

std::string CCanDbEditDlg::MakeFingerprint() const {
    CXmlDoc doc;
    doc.NewElem(DbName, 0);
    SaveXmlCanDatabase(doc, WorkDb);
    return doc.GetText();
}

void CCanDbEditDlg::OnTimer(int id) {
    if (!m_snapshotTaken) {
        m_savedXml = MakeFingerprint();
        m_snapshotTaken = true;
    }
    if (id == 200 && FirstAddFlag != 0) {
        FirstAddFlag = 0;
        OnDbAttributes();
    }
}

void CCanDbEditDlg::OnSaveExit() {
    if (MakeFingerprint() != m_savedXml) WorkDb.LastEditDateTime = utcStamp();
    accept();
}

void CCanDbEditDlg::closeEvent(QCloseEvent* event) {
    if (MakeFingerprint() == m_savedXml) {
        QDialog::closeEvent(event);
        return;
    }
    switch (vex::CurrentPrompt().message(this, QStringLiteral("是否保存修改?"), QStringLiteral("数据库编辑"),
                                         vex::MsgButtons::YesNoCancel, vex::MsgIcon::Question)) {
        case vex::MsgResult::Yes:
            event->ignore();
            accept();
            return;
        case vex::MsgResult::No:
            QDialog::closeEvent(event);
            return;
        default:
            event->ignore();
            return;
    }
}

void CCanDbEditDlg::OnDbAttributes() {
    tDB_ATTRIBUTES a{DbName, WorkDb.FileVer, WorkDb.Author, WorkDb.ProDes};
    if (CurrentDbDialogs().EditDbAttributes(this, m_cfgList, a)) {
        DbName = a.Name;
        WorkDb.FileVer = a.FileVer;
        WorkDb.Author = a.Author;
        WorkDb.ProDes = a.ProDes;
    }
    if (m_tree != nullptr) {
        m_tree->RootText = QString::fromStdString(DbName);
        const QModelIndex root = m_tree->treeModel()->index(0, 0);
        if (root.isValid())
            m_tree->treeModel()->SetNode(root, m_tree->treeModel()->Key(root), m_tree->RootText);
    }
}

void CCanDbEditDlg::ShowNodeInList(uint32_t key, const QString& text) {
    if (m_list != nullptr) m_list->ShowNode(key, text);
}

void CCanDbEditDlg::UpdateTreeNode(uint8_t mode, uint32_t oldKey, const QString& oldText, uint32_t newKey,
                                   const QString& newText) {
    if (m_tree != nullptr) m_tree->UpdateTree(mode, oldKey, oldText, newKey, newText);
}
