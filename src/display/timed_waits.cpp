#include "display/timed_waits.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>

namespace display {
namespace {

using Clock = std::chrono::steady_clock;
Clock::time_point due; // the one timer of the process

void waitForDue(Clock::duration length) {
    due = Clock::now() + length; // re-arming moves every waiter's end
    while (true) {
        const auto now = Clock::now();
        if (now >= due) break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count() + 1;
        QTimer wake;
        wake.setSingleShot(true);
        wake.start(static_cast<int>(left));
        // sleeps until an event comes: the timer's, or the user's
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    QCoreApplication::processEvents();
}

} // namespace

void WaitSeconds(int seconds) { waitForDue(std::chrono::seconds(seconds)); }
void WaitMilliseconds(int milliseconds) { waitForDue(std::chrono::milliseconds(milliseconds)); }

} // namespace display
