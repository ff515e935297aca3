#pragma once

// Value edit controls: one-line fields bound to a variable of the program. What the user types reaches
// the variable only through Commit, which the owning window can inspect and veto (OnCommit) and react to
// afterwards (PostCommit). Commit runs on Enter and when the field loses the focus (see each class), and a
// window may call it directly.
//
// Keys: Enter commits and is swallowed, so neither the window nor a dialog's default button sees it; the
// focus stays in the field. Escape on a field with typed, uncommitted text puts the stored value back and is
// swallowed; on an untouched field it passes on to the window, so "Esc cancels" of a dialog still works.
//
// Conversion errors are reported through the edit error reporter (setEditErrorReporter), a modal message
// box unless a test or a window installs its own.
//
// All of this runs on the user-interface thread only.

#include "controls/EditFormat.h"

#include <QLineEdit>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class QValidator;

namespace selva {

// Handler called before a value is stored: `value` points to the candidate, `canCommit` is true on entry and
// set false by a handler that refuses it.
template <class Control, class T>
using TCommitNotifyEvent = std::function<void(Control* Sender, T* value, bool& canCommit)>;
// Plain notification after a commit.
template <class Control> using TPostCommitEvent = std::function<void(Control* Sender)>;

// Shows a conversion or store error of an edit control. The default shows a modal message box.
using EditErrorReporter = std::function<void(QWidget* control, const QString& message)>;
// Installs a reporter (an empty one restores the default) and returns the previous one.
EditErrorReporter setEditErrorReporter(EditErrorReporter reporter);

// Behaviour shared by the four controls: key filtering, Enter, Escape, focus loss and the input limit.
class TEditControl : public QLineEdit {
    Q_OBJECT
public:
    explicit TEditControl(QWidget* parent = nullptr);

    // Longest text the user can type. Unlike QLineEdit::maxLength it never cuts a text the program shows,
    // so a stored value longer than the limit is shown whole and is not damaged by the next commit.
    void setInputLimit(int characters);
    int inputLimit() const { return inputLimit_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

    // Whether a typed character may enter the text.
    virtual bool acceptsChar(QChar) const { return true; }
    // What Enter does, and what losing the focus does.
    virtual void enterPressed() = 0;
    virtual void focusLost() = 0;
    // Escape: show the stored value again and clear the modified mark.
    virtual void cancelEdit() = 0;

    // Replaces the text with a shown value, keeping the modified mark as `modified`.
    void showText(const QString& text, bool modified);
    // Reports an error through the installed reporter.
    void reportError(const QString& message);

    // Set while a commit runs: a handler that moves the focus or opens a window must not start another.
    bool committing_ = false;

private:
    class LimitValidator;
    LimitValidator* limiter_ = nullptr;
    int inputLimit_ = 32767;
};

// 32-bit signed integer. Typed characters: digits and "-". Input limit 8 characters. Enter and every loss
// of the focus commit.
class TEditInt : public TEditControl {
    Q_OBJECT
public:
    explicit TEditInt(QWidget* parent = nullptr);

    // Binds the variable (it must hold a valid value: it is shown at once), clears the modified mark and
    // Committed. nullptr unbinds: the control then keeps the value in a variable of its own.
    void Value(std::int32_t* variable);
    // Shows the bound variable again after the program changed it; the modified mark stays as it is.
    void Refresh();
    // Empty text counts as 0. Returns whether a value was stored.
    bool Commit();
    // True after a commit that stored a value, false after Value and Refresh.
    bool Committed() const { return committed_; }

    // May refuse; a handler that wants another value changes the text (the text is parsed again to store).
    TCommitNotifyEvent<TEditInt, std::int32_t> OnCommit;
    // Not called after a refused commit.
    TPostCommitEvent<TEditInt> PostCommit;

protected:
    bool acceptsChar(QChar c) const override;
    void enterPressed() override { Commit(); }
    void focusLost() override { Commit(); }
    void cancelEdit() override;

private:
    std::int32_t own_ = 0;
    std::int32_t* var_ = &own_;
    bool committed_ = false;
};

// Floating-point number. Typed characters: digits, "-", "," and "."; the decimal separator is the locale's,
// in what is shown and in what is read. Input limit 16 characters. Enter and the loss of the focus commit
// only a text the user has changed.
class TEditFloat : public TEditControl {
    Q_OBJECT
public:
    explicit TEditFloat(QWidget* parent = nullptr);

    // Binding sets EditType to the variable's width (a double keeps etReal when that is the current type).
    // nullptr unbinds: the control keeps the value itself, at the width of EditType.
    void Value(float* variable);
    void Value(double* variable);
    void Value(long double* variable);
    void Value(std::nullptr_t);
    void Refresh();
    // Returns whether the candidate was accepted and stored.
    bool Commit();
    bool Committed() const { return committed_; }

    // Significant digits shown (1 to 18) and decimals the shown value is rounded to (0 to 18).
    int Precision() const { return precision_; }
    void setPrecision(int digits);
    int Digits() const { return digits_; }
    void setDigits(int decimals);
    TEditType EditType() const { return type_; }
    // Setting a width other than that of a bound variable unbinds it (the control keeps its value).
    void setEditType(TEditType type);

    // The candidate is given at full width; it already has the precision of EditType and is stored rounded
    // to that width. A handler may change it, and the changed value is what gets stored.
    TCommitNotifyEvent<TEditFloat, long double> OnCommit;
    // Called after an accepted and after a refused commit alike.
    TPostCommitEvent<TEditFloat> PostCommit;

    // The value the control stores and shows, read from the bound variable.
    long double storedValue() const;

protected:
    bool acceptsChar(QChar c) const override;
    void enterPressed() override { commitIfModified(); }
    void focusLost() override { commitIfModified(); }
    void cancelEdit() override;

private:
    void commitIfModified();
    QString formattedValue() const;
    bool store(long double value);
    void bindOwn();

    float* f_ = nullptr;
    double* d_ = nullptr;
    long double* e_ = nullptr;
    long double own_ = 0; // the value of an unbound control, at the width of type_
    TEditType type_ = etReal;
    int precision_ = 7;
    int digits_ = 6;
    bool committed_ = false;
};

// Text of at most 255 characters (longer texts are stored cut). Enter and every loss of the focus commit.
class TEditStr : public TEditControl {
    Q_OBJECT
public:
    static constexpr int MaxChars = 255;

    explicit TEditStr(QWidget* parent = nullptr);

    // The string is UTF-8. nullptr unbinds: the control keeps the text itself.
    void Value(std::string* variable);
    void Refresh();
    // Returns whether the candidate was accepted.
    bool Commit();

    // The handler may change the candidate (UTF-8); the text then shows it.
    TCommitNotifyEvent<TEditStr, std::string> OnCommit;
    // Called after an accepted and after a refused commit alike.
    TPostCommitEvent<TEditStr> PostCommit;

protected:
    void enterPressed() override { Commit(); }
    void focusLost() override { Commit(); }
    void cancelEdit() override;

private:
    std::string own_;
    std::string* var_ = &own_;
};

// Zero-terminated character buffer (UTF-8). Commits only a text the user has changed, on Enter, on the loss
// of the focus and when called directly.
class TEditPchar : public TEditControl {
    Q_OBJECT
public:
    explicit TEditPchar(QWidget* parent = nullptr);

    // Binds a buffer of `size` bytes; the stored copy never exceeds it (it is cut at a character boundary
    // and always terminated). nullptr unbinds.
    void Value(char* buffer, std::size_t size);
    // Returns whether a text was accepted.
    bool Commit();
    bool Committed() const { return committed_; }

    // The handler sees the text as a terminated UTF-8 string. A refused commit changes nothing: the text
    // stays as typed and marked modified, and PostCommit is not called.
    TCommitNotifyEvent<TEditPchar, const char> OnCommit;
    TPostCommitEvent<TEditPchar> PostCommit;

protected:
    void enterPressed() override { Commit(); }
    void focusLost() override { Commit(); }
    void cancelEdit() override;

private:
    QString bufferText() const;

    char* buffer_ = nullptr;
    std::size_t size_ = 0;
    std::string own_;
    bool committed_ = false;
};

} // namespace selva
