#include "QtUiPort.h"

#include <QMetaObject>
#include <utility>

namespace tamblor {

CQtUiPort::CQtUiPort(QObject& context, IUiReceiver& receiver)
    : m_context(context), m_receiver(receiver) {}

template <typename Call>
void CQtUiPort::Post(Call call) {
    if (!m_attached) return;
    QMetaObject::invokeMethod(
        &m_context,
        [this, call = std::move(call)]() mutable {
            if (!m_attached) return;
            call(m_receiver);
            m_receiver.AfterEngineCall();
        },
        Qt::QueuedConnection);
}

void CQtUiPort::PostLogRecord(LogRecord record) {
    Post([record = std::move(record)](IUiReceiver& r) { r.OnLogRecord(record); });
}

void CQtUiPort::ClearLog() {
    Post([](IUiReceiver& r) { r.ClearLog(); });
}

void CQtUiPort::SetProgressPosition(int position) {
    Post([position](IUiReceiver& r) { r.SetProgressPosition(position); });
}

void CQtUiPort::SetFillColor(std::uint32_t argb, bool repaint) {
    Post([argb, repaint](IUiReceiver& r) { r.SetFillColor(argb, repaint); });
}

void CQtUiPort::EnableUpgradeButton(bool enable) {
    Post([enable](IUiReceiver& r) { r.EnableUpgradeButton(enable); });
}

void CQtUiPort::SetVersionText(std::string text) {
    Post([text = QString::fromStdString(text)](IUiReceiver& r) { r.SetVersionText(text); });
}

}  // namespace tamblor
