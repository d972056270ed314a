#include "ui/services/j1939spnfmidlg.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

#include <optional>

#include "platform/qt/prompt.h"
#include "windows/dlgbuttons.h"

namespace {

std::optional<long long> wholeNumber(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 18) return std::nullopt;
    bool ok = false;
    const long long v = t.toLongLong(&ok, 10);
    return ok ? std::optional<long long>(v) : std::nullopt;
}

}  // namespace

QString validateSpnFmiDlg(const SpnFmiDlgInput& input, tJ1939_DTC& out) {
    const QString* texts[] = {&input.spn, &input.fmi, &input.cm, &input.oc};
    long long values[4] = {};
    for (int i = 0; i < 4; ++i) {
        const std::optional<long long> v = wholeNumber(*texts[i]);
        if (!v) return QStringLiteral("请输入一个整数。");
        values[i] = *v;
    }
    const struct {
        long long max;
        const char* text;
    } limits[] = {{0x7FFFF, "SPN超过最大值。"},
                  {31, "FMI超过最大值。"},
                  {1, "CM超过最大值。"},
                  {127, "OC超过最大值。"}};
    for (int i = 0; i < 4; ++i)
        if (values[i] < 0 || values[i] > limits[i].max) return QString::fromUtf8(limits[i].text);
    out.Spn = static_cast<uint32_t>(values[0]);
    out.Fmi = static_cast<uint8_t>(values[1]);
    out.Cm = static_cast<uint8_t>(values[2]);
    out.Oc = static_cast<uint8_t>(values[3]);
    return {};
}

CExtSerCanJ1939DmxSpnFmiDlg::CExtSerCanJ1939DmxSpnFmiDlg(QWidget* parent)
    : QDialog(parent),
      m_spn(new QLineEdit(this)),
      m_fmi(new QLineEdit(this)),
      m_cm(new QLineEdit(this)),
      m_oc(new QLineEdit(this)) {
    setWindowTitle(QStringLiteral("CAN DMx SPN-FMI"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("SPN[DEC]："), m_spn);
    form->addRow(QStringLiteral("FMI[DEC]："), m_fmi);
    form->addRow(QStringLiteral("CM："), m_cm);
    form->addRow(QStringLiteral("OC："), m_oc);
    const vex::OkCancelButtons buttons = vex::LayOutOkCancel(*this, form);
    connect(buttons.ok, &QPushButton::clicked, this, &CExtSerCanJ1939DmxSpnFmiDlg::OnOK);
    SetDtc(m_Dtc);
}

void CExtSerCanJ1939DmxSpnFmiDlg::SetDtc(const tJ1939_DTC& dtc) {
    m_Dtc = dtc;
    m_spn->setText(QString::number(dtc.Spn));
    m_fmi->setText(QString::number(dtc.Fmi));
    m_cm->setText(QString::number(dtc.Cm));
    m_oc->setText(QString::number(dtc.Oc));
}

SpnFmiDlgInput CExtSerCanJ1939DmxSpnFmiDlg::Input() const {
    return {m_spn->text(), m_fmi->text(), m_cm->text(), m_oc->text()};
}

void CExtSerCanJ1939DmxSpnFmiDlg::OnOK() {
    tJ1939_DTC dtc;
    const QString refusal = validateSpnFmiDlg(Input(), dtc);
    if (!refusal.isEmpty()) {
        vex::ShowMessage(this, refusal);
        return;
    }
    m_Dtc = dtc;
    accept();
}
