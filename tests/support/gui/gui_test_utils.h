#pragma once
// Small helpers for GUI tests: readable Qt strings in GoogleTest failure
// messages, and waiting on a condition while events are processed.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QString>
#include <QStringList>
#include <QTest>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '{';
    for (int i = 0; i < l.size(); ++i) *os << (i ? ", \"" : "\"") << l[i].toStdString() << '"';
    *os << '}';
}

namespace testing_support {

// Processes events until `condition` holds or `ms` milliseconds have passed;
// returns the condition's last value. Use inside EXPECT_TRUE / ASSERT_TRUE.
template <typename F>
bool waitUntil(F&& condition, int ms = 5000) {
    QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired()) return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QTest::qSleep(1);
    }
    return true;
}

}  // namespace testing_support
