#include "guirequests.h"

#include <QCoreApplication>
#include <QEvent>

namespace {
const QEvent::Type serveEvent = QEvent::Type(QEvent::registerEventType());
} // namespace

void GuiRequests::post(std::function<void()> request)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_pending.push_back(std::move(request));
    }
    QCoreApplication::postEvent(this, new QEvent(serveEvent));
}

bool GuiRequests::event(QEvent *event)
{
    if (event->type() != serveEvent)
        return QObject::event(event);
    for (;;) {
        std::function<void()> request;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (m_pending.empty())
                return true;
            request = std::move(m_pending.front());
            m_pending.pop_front();
        }
        request();
    }
}
