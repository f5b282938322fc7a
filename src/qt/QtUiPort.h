#pragma once

#include <QObject>
#include <QString>
#include <atomic>

#include "app/UiPort.h"

namespace tamblor {

// What the window does with the engine's calls, on the window's own thread.
class IUiReceiver {
  public:
    virtual ~IUiReceiver() = default;
    virtual void OnLogRecord(const LogRecord& record) = 0;
    virtual void ClearLog() = 0;
    virtual void SetProgressPosition(int position) = 0;
    virtual void SetFillColor(std::uint32_t argb, bool repaint) = 0;
    virtual void EnableUpgradeButton(bool enable) = 0;
    virtual void SetVersionText(const QString& text) = 0;
    // After each of the calls above: what the engine is doing may have changed with it.
    virtual void AfterEngineCall() {}
};

// The engine's UI port for a Qt window: every call, from whatever thread, becomes a queued
// event for `context`'s thread and returns at once. Calls are delivered in the order they were
// made. Nothing is posted before Attach() or delivered after Detach().
class CQtUiPort final : public IUiPort {
  public:
    CQtUiPort(QObject& context, IUiReceiver& receiver);

    void Attach() { m_attached = true; }
    // Only from the context's thread; queued calls are dropped from then on.
    void Detach() { m_attached = false; }

    void PostLogRecord(LogRecord record) override;
    void ClearLog() override;
    void SetProgressPosition(int position) override;
    void SetFillColor(std::uint32_t argb, bool repaint) override;
    void EnableUpgradeButton(bool enable) override;
    void SetVersionText(std::string text) override;

  private:
    template <typename Call>
    void Post(Call call);

    QObject& m_context;
    IUiReceiver& m_receiver;
    std::atomic<bool> m_attached{false};
};

}  // namespace tamblor
