#pragma once

#include <QObject>

#include <deque>
#include <functional>
#include <mutex>

// Runs functions that another thread hands over on the thread this object
// lives on (the GUI thread, for the window's widgets). The hand-over is a
// queue under a std::mutex and a bare posted event that says "look at the
// queue", so no data travels through Qt's event queue.
class GuiRequests : public QObject
{
public:
    using QObject::QObject;

    // Any thread: queue `request` to run on this object's thread.
    void post(std::function<void()> request);

protected:
    bool event(QEvent *event) override;

private:
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_pending;
};
