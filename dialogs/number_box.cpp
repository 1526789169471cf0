#include "dialogs/number_box.h"

#include <QLineEdit>

#include <climits>

namespace dialogs {

NumberBox::NumberBox(QWidget* parent) : NumberBox(INT_MIN, INT_MAX, parent) {}

NumberBox::NumberBox(int minimum, int maximum, QWidget* parent) : QSpinBox(parent) {
    setRange(minimum, maximum);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { touched_ = true; });
}

int NumberBox::fallback() const { return minimum() == INT_MIN ? 0 : minimum(); }

void NumberBox::loadValue(int v) {
    setValue(v);
    loaded_ = v;
    shown_ = value();
    touched_ = false;
}

int NumberBox::valueToStore() {
    interpretText();
    if (loaded_ && !touched_ && value() == shown_) return *loaded_;
    return value();
}

QValidator::State NumberBox::validate(QString&, int&) const {
    // Everything may be typed; valueFromText decides what it means.
    return QValidator::Acceptable;
}

int NumberBox::valueFromText(const QString& text) const {
    bool ok = false;
    const qlonglong v = locale().toLongLong(text.trimmed(), &ok);
    const qlonglong n = ok ? v : text.trimmed().toLongLong(&ok);
    if (!ok) return fallback();
    if (n < minimum()) return minimum();
    if (n > maximum()) return maximum();
    return static_cast<int>(n);
}

void NumberBox::fixup(QString& input) const { input = textFromValue(valueFromText(input)); }

void NumberBox::stepBy(int steps) {
    touched_ = true;
    QSpinBox::stepBy(steps);
}

}  // namespace dialogs
