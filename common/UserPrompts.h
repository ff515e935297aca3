#pragma once

#include <functional>
#include <string>

namespace selva {

// How the core speaks to the person using it: the windows show message boxes, the command-line tool
// writes to stderr and answers questions from its options. Unset members mean: say nothing, answer yes
// (except confirmReadOnly, below).
struct UserPrompts {
    // A modal message with one OK button (errors the user can act on, in the program's own words).
    std::function<void(const std::string& text)> message;
    // A Yes/No question; true for Yes.
    std::function<bool(const std::string& question)> confirm;
    // Whether to replace a read-only file (readOnlyQuestion() in common/AtomicFile.h); true for Yes.
    // Unset means no: a read-only file is replaced only when somebody was asked (the command-line tool,
    // which answers every other question yes, refuses it).
    std::function<bool(const std::string& question)> confirmReadOnly = {};

    void tell(const std::string& text) const
    {
        if (message)
            message(text);
    }
    bool ask(const std::string& question) const { return confirm ? confirm(question) : true; }
};

}  // namespace selva
