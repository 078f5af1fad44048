#include "app/TypedLimit.h"

#include <QScopeGuard>
#include <QValidator>

class TypedLimitValidator : public QValidator
{
public:
    explicit TypedLimitValidator(TTypedLimitEdit* edit) : QValidator(edit), edit_(edit) {}

    State validate(QString& input, int&) const override
    {
        if (edit_->inUserEvent_ == 0)
            return Acceptable;
        return input.size() <= edit_->limit_ || input.size() <= edit_->current_ ? Acceptable
                                                                                : Invalid;
    }

private:
    TTypedLimitEdit* edit_;
};

TTypedLimitEdit::TTypedLimitEdit(QWidget* parent) : QLineEdit(parent)
{
    setValidator(new TypedLimitValidator(this));
    connect(this, &QLineEdit::textChanged, this,
            [this](const QString& text) { current_ = text.size(); });
}

bool TTypedLimitEdit::event(QEvent* e)
{
    ++inUserEvent_;
    const auto leave = qScopeGuard([this] { --inUserEvent_; });
    return QLineEdit::event(e);
}
