#include "windows/pickerlist.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <cstdio>

#include "windows/reportlist.h"

namespace vex {

QString Hex8(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return QString::fromLatin1(text);
}

void BuildPicker(QDialog& dlg, QTableView& list, QAbstractItemModel& model, const std::vector<int>& widths,
                 const std::vector<PickerFilter>& filters, std::function<void()> onFind,
                 std::function<void()> onOK, std::function<void(int)> onHeader) {
    list.setObjectName(QStringLiteral("list"));
    list.setModel(&model);
    SetupReportList(list);
    list.setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (size_t c = 0; c < widths.size(); ++c) list.setColumnWidth(static_cast<int>(c), widths[c]);
    list.horizontalHeader()->setSectionsClickable(true);
    QObject::connect(list.horizontalHeader(), &QHeaderView::sectionClicked, &dlg, std::move(onHeader));

    auto* find = new QPushButton(QStringLiteral("查找"), &dlg);
    auto* ok = new QPushButton(QStringLiteral("确定"), &dlg);
    auto* cancel = new QPushButton(QStringLiteral("取消"), &dlg);
    find->setObjectName(QStringLiteral("find"));
    ok->setObjectName(QStringLiteral("ok"));
    cancel->setObjectName(QStringLiteral("cancel"));
    find->setAutoDefault(false);
    cancel->setAutoDefault(false);
    ok->setDefault(true);
    QObject::connect(find, &QPushButton::clicked, &dlg, onFind);
    QObject::connect(ok, &QPushButton::clicked, &dlg, std::move(onOK));
    QObject::connect(cancel, &QPushButton::clicked, &dlg, &QDialog::reject);

    auto* filterRow = new QHBoxLayout;
    for (const PickerFilter& f : filters) {
        for (const QString& label : f.labels) filterRow->addWidget(new QLabel(label, &dlg));
        filterRow->addWidget(f.edit, f.stretch);
        QObject::connect(f.edit, &QLineEdit::textChanged, &dlg, onFind);
    }
    filterRow->addWidget(find);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(&dlg);
    layout->addLayout(filterRow);
    layout->addWidget(&list, 1);
    layout->addLayout(buttons);
}

QString LowerText(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toLower();
}

QString LowerHex8(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", value);
    return QString::fromLatin1(text);
}

std::vector<size_t> TextSortOrder(const std::vector<std::optional<QString>>& texts, int direction) {
    std::vector<size_t> order(texts.size());
    std::iota(order.begin(), order.end(), size_t{0});
    // A strict weak order: by text in the chosen direction, rows without a text last and equal among
    // themselves.
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const std::optional<QString>& ta = texts[a];
        const std::optional<QString>& tb = texts[b];
        if (!ta || !tb) return ta.has_value() && !tb.has_value();
        const int cmp = ta->compare(*tb);
        return direction > 0 ? cmp > 0 : cmp < 0;
    });
    return order;
}

}  // namespace vex
