#pragma once
// Small helpers for GUI tests: readable Qt strings in GoogleTest failure
// messages, and waiting on a condition while events are processed.
#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <QTest>
#include <ostream>
#include <utility>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '{';
    for (int i = 0; i < l.size(); ++i) *os << (i ? ", \"" : "\"") << l[i].toStdString() << '"';
    *os << '}';
}

namespace testing_support {

// The one wait of the GUI tests: processes events until `condition` holds or
// `ms` milliseconds have passed; returns the condition's last value. Use inside
// EXPECT_TRUE / ASSERT_TRUE. Never a fixed sleep.
template <typename F>
bool waitUntil(F&& condition, int ms = 5000) {
    return QTest::qWaitFor(std::forward<F>(condition), ms);
}

}  // namespace testing_support
