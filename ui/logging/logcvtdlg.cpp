#include "ui/logging/logcvtdlg.h"

#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "config/regconfig.h"
#include "platform/qt/prompt.h"

namespace {

const char* const kTypeTexts[] = {"bin-crm", "mdf-log", "asc-txt"};
const QString kLogFilter =
    QStringLiteral("bin-crm files(*.crm);;mdf-log files(*.log);;asc-txt files(*.txt);;所有文件(*)");

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// A click on the list's viewport: the row under it, -1 off the rows.
class RowClickFilter : public QObject {
public:
    RowClickFilter(QTableView* view, std::function<void(int)> onClick)
        : QObject(view), m_View(view), m_OnClick(std::move(onClick)) {
        view->viewport()->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress)
            m_OnClick(m_View->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint()).row());
        return false;
    }

private:
    QTableView* m_View;
    std::function<void(int)> m_OnClick;
};

// The source list with its "添加" and "移除" buttons.
QTableView* sourceList(QWidget* parent, CTkRowsModel* model) {
    QTableView* list = MakeTkList(parent, model, {50, 800});
    list->setMinimumSize(720, 220);
    return list;
}

// Both conversion dialogs, top to bottom: "源文件：", the source list, "添加" and "移除", the dialog's own
// fields, then its two command buttons at the right.
void layOut(QDialog* dlg, QTableView* list, QPushButton* add, QPushButton* remove, QGridLayout* fields,
            QPushButton* convert, QPushButton* quit) {
    auto* rowButtons = new QHBoxLayout;
    rowButtons->addWidget(add);
    rowButtons->addWidget(remove);
    rowButtons->addStretch(1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(convert);
    bottom->addWidget(quit);
    auto* top = new QVBoxLayout(dlg);
    top->addWidget(new QLabel(QStringLiteral("源文件："), dlg));
    top->addWidget(list, 1);
    top->addLayout(rowButtons);
    top->addLayout(fields);
    top->addLayout(bottom);
}

// "移除": the selected row goes; without a selected row the user is told to pick one.
void removeSelected(QWidget* parent, CTkRowsModel& model, int32_t& selected) {
    if (selected < 0 || selected >= model.rowCount()) {
        TkMessage(parent, QStringLiteral("请选择其中一项进行操作。"));
        return;
    }
    model.RemoveRow(selected);
    selected = -1;
}

// The target folder's "选择": the chosen folder replaces the field's text; a cancel keeps it.
void chooseFolder(QWidget* parent, QLineEdit* target) {
    const QString dir =
        vex::CurrentPrompt().chooseFolder(parent, QStringLiteral("请选择目录 "), target->text());
    if (!dir.isEmpty()) target->setText(dir);
}

}  // namespace

std::optional<std::string> validateLogCvt(std::string_view folder, bool folderExists,
                                          std::string_view typeText, int rows) {
    if (folder.empty()) return "目标文件路径不能为空。";
    if (!folderExists) return "目标文件路径不存在。";
    if (LogTypeExtension(typeText).empty()) return "未知的记录文件格式。";
    if (rows <= 0) return "请添加源文件。";
    return std::nullopt;
}

bool AddTkSourceRow(QWidget* parent, CTkRowsModel& model, const QString& path, const QString& type) {
    const std::string name = FileNameOfPath(path.toStdString());
    for (int r = 0; r < model.rowCount(); ++r) {
        if (FileNameOfPath(model.Cells(r)[1].toStdString()) == name) {
            TkMessage(parent,
                      QStringLiteral("此文件与已经添加的文件名称相同,文件[%1]。").arg(model.Cells(r)[1]));
            return false;
        }
    }
    model.AddRow({type, path}, 0);
    return true;
}

// ---- Progress ----

CTkCanMsgLogFileCvtProgressDlg::CTkCanMsgLogFileCvtProgressDlg(const std::string& source,
                                                               const std::string& sourceType,
                                                               const std::string& target,
                                                               const std::string& targetType, QWidget* parent)
    : CTkProgressDlg(QStringLiteral("中断"), parent), m_Job(source, sourceType, target, targetType) {
    addField(QStringLiteral("源文件："), qs(source));
    addField(QStringLiteral("目标文件："), qs(target));
    SetJob(&m_Job);
}

CTkCanMsgLogFileCvtProgressDlg::~CTkCanMsgLogFileCvtProgressDlg() {
    finishJob();
}

QString CTkCanMsgLogFileCvtProgressDlg::statusOf(const CLogToolJob& job) const {
    return TkStatusText(job, QStringLiteral("开始转换..."), QStringLiteral("转换完成..."),
                        QStringLiteral("转换错误..."));
}

// ---- Conversion dialog ----

CTkCanMsgLogFileCvtDlg::CTkCanMsgLogFileCvtDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("记录文件格式转换"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_Model = new CTkRowsModel({QStringLiteral("类型"), QStringLiteral("路径")}, false, this);
    m_List = sourceList(this, m_Model);
    m_List->setObjectName("listSources");
    new RowClickFilter(m_List, [this](int row) { SelectRow(row); });
    m_Target = new QLineEdit(this);
    m_Target->setObjectName("editTarget");
    m_Type = new QComboBox(this);
    m_Type->setObjectName("comboType");
    for (const char* t : kTypeTexts) m_Type->addItem(QString::fromLatin1(t));

    QPushButton* add = TkButton(this, "添加", "btnAdd");
    QPushButton* remove = TkButton(this, "移除", "btnRemove");
    QPushButton* choose = TkButton(this, "选择", "btnChooseDir");
    QPushButton* convert = TkButton(this, "转换", "btnConvert");
    QPushButton* quit = TkButton(this, "退出", "btnExit");

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("目标文件路径："), this), 0, 0);
    grid->addWidget(m_Target, 0, 1);
    grid->addWidget(choose, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("目标文件类型："), this), 1, 0);
    grid->addWidget(m_Type, 1, 1, Qt::AlignLeft);
    layOut(this, m_List, add, remove, grid, convert, quit);

    connect(add, &QPushButton::clicked, this, [this] { OnAdd(); });
    connect(remove, &QPushButton::clicked, this, [this] { OnRemove(); });
    connect(choose, &QPushButton::clicked, this, [this] { OnChooseDir(); });
    connect(convert, &QPushButton::clicked, this, [this] { OnConvert(); });
    connect(quit, &QPushButton::clicked, this, &QDialog::reject);

    CAppRegConfig reg;
    m_Target->setText(qs(reg.sLastCanMsgLogFileDstFilePath));
    const int type = m_Type->findText(qs(reg.sLastCanMsgLogFileDstType), Qt::MatchStartsWith);
    m_Type->setCurrentIndex(type >= 0 ? type : 0);
}

int CTkCanMsgLogFileCvtDlg::RowCount() const {
    return m_Model->rowCount();
}

QString CTkCanMsgLogFileCvtDlg::RowPath(int row) const {
    return m_Model->Cells(row)[1];
}

QString CTkCanMsgLogFileCvtDlg::TargetFolder() const {
    return m_Target->text();
}

QString CTkCanMsgLogFileCvtDlg::TargetType() const {
    return m_Type->currentText();
}

void CTkCanMsgLogFileCvtDlg::SelectRow(int row) {
    m_Selected = row >= 0 && row < RowCount() ? row : -1;
}

void CTkCanMsgLogFileCvtDlg::OnAdd() {
    const QString path = vex::CurrentPrompt().openFile(this, QString(), QString(), kLogFilter);
    if (path.isEmpty()) return;
    const std::string ext = LowerExtension(path.toStdString());
    if (LogTypeText(ext).empty()) {
        TkMessage(this, QStringLiteral("不支持的记录文件格式。"));
        return;
    }
    AddTkSourceRow(this, *m_Model, path, qs(ext));
}

void CTkCanMsgLogFileCvtDlg::OnRemove() {
    removeSelected(this, *m_Model, m_Selected);
}

void CTkCanMsgLogFileCvtDlg::OnChooseDir() {
    chooseFolder(this, m_Target);
}

void CTkCanMsgLogFileCvtDlg::OnConvert() {
    const std::string folder = m_Target->text().toStdString();
    const std::string typeText = m_Type->currentText().toStdString();
    const bool exists = !folder.empty() && QDir(m_Target->text()).exists();
    if (const auto refusal = validateLogCvt(folder, exists, typeText, RowCount())) {
        TkMessage(this, qs(*refusal));
        if (!folder.empty() && !exists) m_Target->clear();
        return;
    }
    const std::string targetType(LogTypeExtension(typeText));
    m_Report.clear();
    for (int r = 0; r < RowCount(); ++r) {
        const std::string source = m_Model->Cells(r)[1].toStdString();
        const std::string sourceType = m_Model->Cells(r)[0].toStdString();
        if (sourceType == targetType) {
            m_Report += QStringLiteral("[%1] - 转换失败，源文件与目标文件格式相同\r\n").arg(qs(source));
            continue;
        }
        CTkCanMsgLogFileCvtProgressDlg progress(
            source, sourceType, LogCvtTargetPath(folder, source, targetType), targetType, this);
        if (m_Hook) m_Hook(progress);
        progress.exec();
        const CLogCvtJob& job = progress.Job();
        if (progress.Done()) {
            m_Report += QStringLiteral("[%1] - 转换完成%2\r\n")
                            .arg(qs(source), qs(LogCvtDoneNote(job.SkippedLines(), job.UnwritableFrames())));
            // A damaged source converts the records it holds; the report says how many it declared.
            if (!job.SourceDamage().empty())
                m_Report += QStringLiteral("    %1\r\n").arg(qs(job.SourceDamage()).replace('\n', "\r\n    "));
        } else if (progress.StopRequested()) {
            m_Report += QStringLiteral("[%1] - 转换失败，转换被中断\r\n").arg(qs(source));
        } else {
            m_Report += QStringLiteral("[%1] - 转换失败\r\n").arg(qs(source));
            if (!job.Error().empty()) m_Report += QStringLiteral("    %1\r\n").arg(qs(job.Error()));
        }
        // A stop ends the batch: the rows after it are listed as not converted.
        if (progress.StopRequested()) {
            for (int rest = r + 1; rest < RowCount(); ++rest)
                m_Report += QStringLiteral("[%1] - 未转换（转换已中断）\r\n").arg(m_Model->Cells(rest)[1]);
            break;
        }
    }
    TkMessage(this, m_Report, vex::MsgIcon::Information);
    CAppRegConfig reg;
    reg.sLastCanMsgLogFileDstFilePath = folder;
    reg.sLastCanMsgLogFileDstType = typeText;
}

// ---- Other text logs ----

CTkCanMsgLogFileCvtOtherDlg::CTkCanMsgLogFileCvtOtherDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("记录文件格式转换"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_Model = new CTkRowsModel({QStringLiteral("类型"), QStringLiteral("路径")}, false, this);
    m_List = sourceList(this, m_Model);
    m_List->setObjectName("listSources");
    new RowClickFilter(m_List, [this](int row) { SelectRow(row); });
    m_Converter = new QLineEdit(this);
    m_Converter->setObjectName("editConverter");
    m_Target = new QLineEdit(this);
    m_Target->setObjectName("editTarget");

    QPushButton* add = TkButton(this, "添加", "btnAdd");
    QPushButton* remove = TkButton(this, "移除", "btnRemove");
    QPushButton* chooseConverter = TkButton(this, "选择", "btnChooseConverter");
    QPushButton* chooseDir = TkButton(this, "选择", "btnChooseDir");
    QPushButton* convert = TkButton(this, "转换", "btnConvert");
    QPushButton* quit = TkButton(this, "退出", "btnExit");

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("转换程序(*.dll)："), this), 0, 0);
    grid->addWidget(m_Converter, 0, 1);
    grid->addWidget(chooseConverter, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("目标文件路径："), this), 1, 0);
    grid->addWidget(m_Target, 1, 1);
    grid->addWidget(chooseDir, 1, 2);
    layOut(this, m_List, add, remove, grid, convert, quit);

    connect(add, &QPushButton::clicked, this, [this] { OnAdd(); });
    connect(remove, &QPushButton::clicked, this, [this] { OnRemove(); });
    connect(chooseConverter, &QPushButton::clicked, this, [this] { OnChooseConverter(); });
    connect(chooseDir, &QPushButton::clicked, this, [this] { OnChooseDir(); });
    connect(convert, &QPushButton::clicked, this, [this] { OnConvert(); });
    connect(quit, &QPushButton::clicked, this, &QDialog::reject);
}

int CTkCanMsgLogFileCvtOtherDlg::RowCount() const {
    return m_Model->rowCount();
}

QString CTkCanMsgLogFileCvtOtherDlg::ConverterPath() const {
    return m_Converter->text();
}

QString CTkCanMsgLogFileCvtOtherDlg::TargetFolder() const {
    return m_Target->text();
}

void CTkCanMsgLogFileCvtOtherDlg::SelectRow(int row) {
    m_Selected = row >= 0 && row < RowCount() ? row : -1;
}

void CTkCanMsgLogFileCvtOtherDlg::OnAdd() {
    const QString path = vex::CurrentPrompt().openFile(this, QString(), QString(),
                                                       QStringLiteral("other-txt files(*.txt);;所有文件(*)"));
    if (path.isEmpty()) return;
    AddTkSourceRow(this, *m_Model, path, qs(LowerExtension(path.toStdString())));
}

void CTkCanMsgLogFileCvtOtherDlg::OnRemove() {
    removeSelected(this, *m_Model, m_Selected);
}

void CTkCanMsgLogFileCvtOtherDlg::OnChooseConverter() {
    const QString path = vex::CurrentPrompt().openFile(
        this, QString(), QString(), QStringLiteral("Dynamic Linking Librry (*.dll);;所有文件(*)"));
    if (!path.isEmpty()) m_Converter->setText(path);
}

void CTkCanMsgLogFileCvtOtherDlg::OnChooseDir() {
    chooseFolder(this, m_Target);
}

// No converter library is ever loaded: the command has no effect.
void CTkCanMsgLogFileCvtOtherDlg::OnConvert() {}
