#include "app/TypedLimit.h"

#include <QValidator>

// Qt validates every edit, whatever its path, and undoes a user's edit found Invalid. Every
// user edit is on the undo list when it is validated; setText empties that list first, which
// tells the program's own text apart. Accepting that text also keeps the box's input valid,
// without which Qt would let the next overlong edit through.
class TypedLimitValidator : public QValidator
{
public:
    explicit TypedLimitValidator(TTypedLimitEdit* edit) : QValidator(edit), edit_(edit) {}

    State validate(QString& input, int&) const override
    {
        if (!edit_->isUndoAvailable())
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
