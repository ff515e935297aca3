#include "controls/EditInt.h"

#include <QLocale>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace selva {

TEditFloat::TEditFloat(QWidget* parent) : TEditControl(parent)
{
    setInputLimit(16);
    showText(formattedValue(), false);
}

bool TEditFloat::acceptsChar(QChar c) const
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') ||
           c == QLatin1Char(',') || c == QLatin1Char('.');
}

void TEditFloat::Value(float* variable)
{
    if (!variable)
        return Value(nullptr);
    f_ = variable;
    d_ = nullptr;
    e_ = nullptr;
    type_ = etSingle;
    committed_ = false;
    showText(formattedValue(), false);
}

void TEditFloat::Value(double* variable)
{
    if (!variable)
        return Value(nullptr);
    f_ = nullptr;
    d_ = variable;
    e_ = nullptr;
    if (type_ != etReal)
        type_ = etDouble;
    committed_ = false;
    showText(formattedValue(), false);
}

void TEditFloat::Value(long double* variable)
{
    if (!variable)
        return Value(nullptr);
    f_ = nullptr;
    d_ = nullptr;
    e_ = variable;
    type_ = etExtended;
    committed_ = false;
    showText(formattedValue(), false);
}

void TEditFloat::Value(std::nullptr_t)
{
    bindOwn();
    committed_ = false;
    showText(formattedValue(), false);
}

void TEditFloat::bindOwn()
{
    own_ = storedValue();
    f_ = nullptr;
    d_ = nullptr;
    e_ = nullptr;
}

long double TEditFloat::storedValue() const
{
    if (f_)
        return *f_;
    if (d_)
        return *d_;
    if (e_)
        return *e_;
    return own_;
}

void TEditFloat::setPrecision(int digits)
{
    precision_ = std::clamp(digits, 1, 18);
}

void TEditFloat::setDigits(int decimals)
{
    digits_ = std::clamp(decimals, 0, 18);
}

void TEditFloat::setEditType(TEditType type)
{
    const bool fits = (f_ && type == etSingle) || (d_ && (type == etReal || type == etDouble)) ||
                      (e_ && type == etExtended) || (!f_ && !d_ && !e_);
    if (!fits)
        bindOwn();
    type_ = type;
    if (!f_ && !d_ && !e_)
        store(own_); // the kept value takes the new width
}

QString TEditFloat::formattedValue() const
{
    return formatEditFloat(storedValue(), type_, precision_, digits_, locale());
}

void TEditFloat::Refresh()
{
    committed_ = false;
    showText(formattedValue(), isModified());
}

void TEditFloat::cancelEdit()
{
    showText(formattedValue(), false);
}

void TEditFloat::commitIfModified()
{
    if (isModified())
        Commit();
}

// Stores at the width of EditType; false when the value does not fit that width.
bool TEditFloat::store(long double value)
{
    if (!std::isfinite(value))
        return false;
    switch (type_) {
    case etSingle: {
        if (std::fabs(value) > FLT_MAX)
            return false;
        const float v = static_cast<float>(value);
        if (f_)
            *f_ = v;
        else
            own_ = v;
        return true;
    }
    case etReal:
    case etDouble: {
        if (std::fabs(value) > DBL_MAX)
            return false;
        const double v = static_cast<double>(value);
        if (d_)
            *d_ = v;
        else
            own_ = v;
        return true;
    }
    case etExtended:
        if (e_)
            *e_ = value;
        else
            own_ = value;
        return true;
    }
    return false;
}

bool TEditFloat::Commit()
{
    if (committing_)
        return false;
    committing_ = true;

    if (text().isEmpty())
        showText(QStringLiteral("0"), isModified());
    long double candidate = 0;
    if (!parseEditFloat(text(), type_, locale(), candidate)) {
        reportError(QStringLiteral("«%1» — не число").arg(text()));
        committing_ = false;
        return false;
    }
    bool canCommit = true;
    if (OnCommit)
        OnCommit(this, &candidate, canCommit);
    if (canCommit && !store(candidate)) {
        setFocus();
        reportError(QStringLiteral("«%1» — не число")
                        .arg(formatEditFloat(candidate, etExtended, 18, 18, locale())));
        committing_ = false;
        return false;
    }
    // Accepted or refused, the field now shows the stored value in its display format.
    showText(formattedValue(), false);
    committed_ = true;
    committing_ = false;
    if (PostCommit)
        PostCommit(this);
    return canCommit;
}

} // namespace selva
