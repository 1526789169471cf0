#pragma once
// The integer boxes of the settings dialogs.
#include <QSpinBox>

#include <optional>

namespace dialogs {

// A spin box that takes any typed text. A number outside the range is brought
// into it; anything else, an emptied box too, counts at once as the lower
// bound (0 for a box without range), so the value does not depend on whether
// the dialog is confirmed by Enter or by a click. A value put in by
// loadValue() is written back as it was unless the user changed the box, so
// a stored value the box cannot show survives an unchanged save.
class NumberBox : public QSpinBox {
    Q_OBJECT
public:
    // Without range the box takes any 32-bit integer.
    explicit NumberBox(QWidget* parent = nullptr);
    NumberBox(int minimum, int maximum, QWidget* parent = nullptr);

    // What a box whose text is no number holds.
    int fallback() const;
    void loadValue(int v);
    // The value to save: the loaded one while the box is untouched.
    int valueToStore();

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    int valueFromText(const QString& text) const override;
    void fixup(QString& input) const override;
    void stepBy(int steps) override;

private:
    std::optional<int> loaded_;
    int shown_ = 0;
    bool touched_ = false;
};

}  // namespace dialogs
