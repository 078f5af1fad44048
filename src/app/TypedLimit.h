#pragma once

#include <QLineEdit>

// An edit box that takes at most TypedLimit() characters from the user, by every way text gets
// in (typing, keyboard or menu paste, drop, input method), while text set by the program is
// kept whole: QLineEdit::setMaxLength would cut setText too. An edit that does not make the
// text longer is always allowed, so a longer text set by the program can still be shortened.
class TTypedLimitEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit TTypedLimitEdit(QWidget* parent = nullptr);

    int TypedLimit() const { return limit_; }
    void SetTypedLimit(int limit) { limit_ = limit; }

private:
    friend class TypedLimitValidator;
    int limit_ = 32767;
    qsizetype current_ = 0; // length of the text the box holds now
};
