#include "controls/EditInt.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QValidator>

#include <algorithm>
#include <utility>

namespace selva {

namespace {

EditErrorReporter& reporterSlot()
{
    static EditErrorReporter reporter;
    return reporter;
}

void showErrorBox(QWidget* control, const QString& message)
{
    QMessageBox::critical(control ? control->window() : nullptr, QApplication::applicationName(), message);
}

} // namespace

EditErrorReporter setEditErrorReporter(EditErrorReporter reporter)
{
    return std::exchange(reporterSlot(), std::move(reporter));
}

// Refuses typing that would make the text longer than the limit, but accepts any text that is not longer
// than the one before it, so a long value shown by the program can still be shortened by the user.
class TEditControl::LimitValidator : public QValidator {
public:
    explicit LimitValidator(QObject* parent) : QValidator(parent) {}

    State validate(QString& input, int&) const override
    {
        const int length = static_cast<int>(input.size());
        return length <= limit || length <= current ? Acceptable : Invalid;
    }

    int limit = 32767;
    int current = 0; // length of the text as it stands
};

TEditControl::TEditControl(QWidget* parent) : QLineEdit(parent), limiter_(new LimitValidator(this))
{
    setValidator(limiter_);
    connect(this, &QLineEdit::textChanged, this,
            [this](const QString& text) { limiter_->current = static_cast<int>(text.size()); });
}

void TEditControl::setInputLimit(int characters)
{
    inputLimit_ = characters > 0 ? characters : 32767;
    limiter_->limit = inputLimit_;
}

void TEditControl::showText(const QString& text, bool modified)
{
    // Let the validator accept the shown text whatever its length.
    limiter_->current = std::max(limiter_->current, static_cast<int>(text.size()));
    setText(text);
    setModified(modified);
}

void TEditControl::reportError(const QString& message)
{
    if (const EditErrorReporter& reporter = reporterSlot())
        reporter(this, message);
    else
        showErrorBox(this, message);
}

void TEditControl::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Swallowed after the commit: the window's own keys, a dialog's default button included, never
        // see Enter from a value field.
        event->accept();
        if (!committing_)
            enterPressed();
        return;
    case Qt::Key_Escape:
        if (isModified()) {
            cancelEdit();
            event->accept();
        } else {
            event->ignore();
        }
        return;
    default:
        break;
    }
    const QString typed = event->text();
    const bool shortcut = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (!typed.isEmpty() && !shortcut) {
        for (const QChar c : typed) {
            if (c.isPrint() && !acceptsChar(c)) {
                event->accept(); // dropped silently
                return;
            }
        }
    }
    QLineEdit::keyPressEvent(event);
}

void TEditControl::focusOutEvent(QFocusEvent* event)
{
    // Another window taking over (a message box, a menu) is not leaving the field: the value is committed
    // when the focus moves to another control, as the user sees it.
    const Qt::FocusReason reason = event->reason();
    if (!committing_ && reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
        focusLost();
    QLineEdit::focusOutEvent(event);
}

// ---------------------------------------------------------------- TEditInt

TEditInt::TEditInt(QWidget* parent) : TEditControl(parent)
{
    setInputLimit(8);
    showText(QStringLiteral("0"), false);
}

bool TEditInt::acceptsChar(QChar c) const
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-');
}

void TEditInt::Value(std::int32_t* variable)
{
    var_ = variable ? variable : &own_;
    committed_ = false;
    showText(QString::number(*var_), false);
}

void TEditInt::Refresh()
{
    committed_ = false;
    showText(QString::number(*var_), isModified());
}

void TEditInt::cancelEdit()
{
    showText(QString::number(*var_), false);
}

bool TEditInt::Commit()
{
    if (committing_)
        return false;
    committing_ = true;
    const auto done = [this](bool result) {
        committing_ = false;
        return result;
    };

    if (text().isEmpty())
        showText(QStringLiteral("0"), isModified());
    std::int32_t candidate = 0;
    if (!parseEditInt(text(), candidate)) {
        reportError(QStringLiteral("«%1» — не целое число").arg(text()));
        return done(false);
    }
    bool canCommit = true;
    if (OnCommit)
        OnCommit(this, &candidate, canCommit);
    if (!canCommit) {
        showText(QString::number(*var_), false);
        return done(false);
    }
    // A handler that wants another value changes the text, so the text is read again.
    std::int32_t value = 0;
    if (!parseEditInt(text(), value)) {
        setFocus();
        reportError(QStringLiteral("«%1» — не целое число").arg(text()));
        return done(false);
    }
    *var_ = value;
    setModified(false);
    committed_ = true;
    committing_ = false;
    if (PostCommit)
        PostCommit(this);
    return true;
}

} // namespace selva
