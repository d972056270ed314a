#include "ui/app/framestatus.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QStatusBar>

#include "ui/app/keylocks.h"

namespace {

// The bus panes are sized from these texts, blanks included.
const char* const kBusStateInitial = "总线状态：CAN0[000 000 00] CAN1[000 000 00]          ";
const char* const kBusLoadInitial = "总线负载： CAN0[00.00%] CAN1[00.00%] ";
const char* const kLockTexts[] = {"CAP", "NUM", "SCRL"};
const char* const kLockNames[] = {"paneCap", "paneNum", "paneScrl"};

QLabel* fixedPane(const QString& sizedBy, const QString& text, const char* name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(sizedBy) + 8);
    return label;
}

}  // namespace

CFrameStatusPanes::CFrameStatusPanes(QStatusBar* bar) : QObject(bar) {
    m_message = new QLabel(bar);
    m_message->setObjectName(QStringLiteral("paneMessage"));
    m_message->setTextFormat(Qt::PlainText);
    // A long message is cut at the pane's end rather than widening the frame.
    m_message->setMinimumWidth(1);
    m_message->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar->addWidget(m_message, 1);
    const QString busState = QString::fromUtf8(kBusStateInitial);
    const QString busLoad = QString::fromUtf8(kBusLoadInitial);
    m_busState = fixedPane(busState, busState, "paneBusState", bar);
    m_busLoad = fixedPane(busLoad, busLoad, "paneBusLoad", bar);
    bar->addPermanentWidget(m_busState);
    bar->addPermanentWidget(m_busLoad);
    for (int i = 0; i < 3; ++i) {
        m_locks[i] = fixedPane(QString::fromLatin1(kLockTexts[i]), QString(), kLockNames[i], bar);
        m_locks[i]->setAlignment(Qt::AlignCenter);
        bar->addPermanentWidget(m_locks[i]);
    }
    qApp->installEventFilter(this);
    RefreshLocks();
}

CFrameStatusPanes::~CFrameStatusPanes() {
    qApp->removeEventFilter(this);
}

void CFrameStatusPanes::ShowBusStatus(const BusStatusTexts& texts) {
    m_busLoad->setText(QString::fromStdString(texts.load));
    m_busState->setText(QString::fromStdString(texts.state));
}

void CFrameStatusPanes::ShowAlert(const tINFO_MSG& msg) {
    const QString text = QStringLiteral("%1 %2：%3")
                             .arg(QString::fromStdString(msg.TimeText), QString::fromStdString(msg.Source),
                                  QString::fromStdString(msg.Text));
    m_message->setText(text);
    m_message->setToolTip(text);
    // A normal message here is the one that ended its source's alert: it reads as the all-clear, in the
    // bar's own colour, and says why the alert went.
    QString colour;
    if (msg.Level == 2) colour = QStringLiteral("color: #c00000;");
    if (msg.Level == 1) colour = QStringLiteral("color: #806000;");
    m_message->setStyleSheet(colour);
}

void CFrameStatusPanes::RefreshLocks() {
    const KeyLocks locks = ReadKeyLocks().value_or(KeyLocks{});
    const bool on[] = {locks.caps, locks.num, locks.scroll};
    for (int i = 0; i < 3; ++i) {
        const QString text = on[i] ? QString::fromLatin1(kLockTexts[i]) : QString();
        if (m_locks[i]->text() != text) m_locks[i]->setText(text);
    }
}

QString CFrameStatusPanes::MessageText() const {
    return m_message->text();
}

QString CFrameStatusPanes::MessageStyle() const {
    return m_message->styleSheet();
}

QString CFrameStatusPanes::BusStateText() const {
    return m_busState->text();
}

QString CFrameStatusPanes::BusLoadText() const {
    return m_busLoad->text();
}

QStringList CFrameStatusPanes::LockTexts() const {
    return {m_locks[0]->text(), m_locks[1]->text(), m_locks[2]->text()};
}

bool CFrameStatusPanes::eventFilter(QObject* watched, QEvent* event) {
    // A lock key changes its state as it goes down or up; the frame's tick catches keys typed elsewhere.
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) RefreshLocks();
    return QObject::eventFilter(watched, event);
}
