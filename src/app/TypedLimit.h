#pragma once

#include <QLineEdit>

// An edit box that takes at most TypedLimit() characters from the user (typed, pasted, dropped)
// while text set by the program is kept whole: QLineEdit::setMaxLength would cut setText too.
// An edit that does not make the text longer is always allowed, so a longer text set by the
// program can still be shortened by the user.
class TTypedLimitEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit TTypedLimitEdit(QWidget* parent = nullptr);

    int TypedLimit() const { return limit_; }
    void SetTypedLimit(int limit) { limit_ = limit; }

protected:
    // Every user edit arrives through an event of the box itself (keys, input method, mouse,
    // context menu, drop); program calls of setText do not.
    bool event(QEvent* e) override;

private:
    friend class TypedLimitValidator;
    int limit_ = 32767;
    int inUserEvent_ = 0;
    qsizetype current_ = 0; // length of the text the box holds now
};
