#include "controls/EditInt.h"

#include "common/Cp1251.h"

#include <cstring>

namespace selva {

// ---------------------------------------------------------------- TEditStr

TEditStr::TEditStr(QWidget* parent) : TEditControl(parent) {}

void TEditStr::Value(std::string* variable)
{
    var_ = variable ? variable : &own_;
    showText(QString::fromStdString(*var_), false);
}

void TEditStr::Refresh()
{
    showText(QString::fromStdString(*var_), isModified());
}

void TEditStr::cancelEdit()
{
    showText(QString::fromStdString(*var_), false);
}

bool TEditStr::Commit()
{
    if (committing_)
        return false;
    committing_ = true;

    std::string candidate = text().toStdString();
    bool canCommit = true;
    if (OnCommit)
        OnCommit(this, &candidate, canCommit);
    if (canCommit) {
        showText(QString::fromStdString(candidate), false);
        *var_ = utf8Left(candidate, MaxChars);
    } else {
        showText(QString::fromStdString(*var_), false);
    }
    committing_ = false;
    if (PostCommit)
        PostCommit(this);
    return canCommit;
}

// ---------------------------------------------------------------- TEditPchar

TEditPchar::TEditPchar(QWidget* parent) : TEditControl(parent) {}

QString TEditPchar::bufferText() const
{
    if (!buffer_)
        return QString::fromStdString(own_);
    return QString::fromUtf8(buffer_, static_cast<qsizetype>(strnlen(buffer_, size_)));
}

void TEditPchar::Value(char* buffer, std::size_t size)
{
    if (buffer && size > 0) {
        buffer_ = buffer;
        size_ = size;
    } else {
        own_ = bufferText().toStdString();
        buffer_ = nullptr;
        size_ = 0;
    }
    committed_ = false;
    showText(bufferText(), false);
}

void TEditPchar::cancelEdit()
{
    showText(bufferText(), false);
}

bool TEditPchar::Commit()
{
    if (committing_ || !isModified())
        return false;
    committing_ = true;

    const std::string candidate = text().toStdString();
    bool canCommit = true;
    if (OnCommit)
        OnCommit(this, candidate.c_str(), canCommit);
    if (!canCommit) {
        committing_ = false;
        return false;
    }
    setModified(false);
    if (buffer_) {
        // Never more than the buffer holds, terminator included.
        const std::string cut = utf8LeftBytes(candidate, size_ - 1);
        std::memcpy(buffer_, cut.c_str(), cut.size() + 1);
    } else {
        own_ = candidate;
    }
    committed_ = true;
    committing_ = false;
    if (PostCommit)
        PostCommit(this);
    return true;
}

} // namespace selva
