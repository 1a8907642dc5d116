// A spin box that takes any typed number and, when the field is left,
// shows the nearest allowed value: typing 9999 where 640 is the most gives
// 640, typing 0 where 30 is the least gives 30. The plain spin box refuses
// the keystroke that leaves its range, so a typed 9999 became 99.
#pragma once

#include <QSpinBox>

namespace velmora::ui {

class ClampingSpinBox : public QSpinBox {
public:
  explicit ClampingSpinBox(QWidget* parent = nullptr) : QSpinBox(parent) {
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
  }

protected:
  QValidator::State validate(QString& text, int& pos) const override {
    const QValidator::State plain = QSpinBox::validate(text, pos);
    if (plain != QValidator::Invalid) return plain;
    bool ok = false;
    Number(text, &ok);
    return ok ? QValidator::Intermediate : QValidator::Invalid;
  }
  void fixup(QString& text) const override {
    bool ok = false;
    const qlonglong n = Number(text, &ok);
    if (!ok) return QSpinBox::fixup(text);
    text = textFromValue(int(std::clamp<qlonglong>(n, minimum(), maximum())));
  }

private:
  qlonglong Number(const QString& text, bool* ok) const {
    QString digits = text;
    if (!prefix().isEmpty() && digits.startsWith(prefix())) digits.remove(0, prefix().size());
    if (!suffix().isEmpty() && digits.endsWith(suffix())) digits.chop(suffix().size());
    digits = digits.trimmed();
    // Ten digits at most: more cannot be meant, and would overflow.
    if (digits.isEmpty() || digits.size() > 10) {
      *ok = false;
      return 0;
    }
    return digits.toLongLong(ok);
  }
};

}  // namespace velmora::ui
