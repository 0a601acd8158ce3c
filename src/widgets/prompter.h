#pragma once

#include <QString>

class QWidget;

namespace widgets {

enum class PromptIcon { None, Information, Warning, Critical, Question };
enum class PromptButtons { Ok, YesNo };
enum class PromptAnswer { Ok, Yes, No };

/// One modal message box: its title, plain text, buttons, icon and default button.
struct PromptRequest
{
    QString title;
    QString text;
    PromptIcon icon = PromptIcon::None;
    PromptButtons buttons = PromptButtons::Ok;
    PromptAnswer defaultAnswer = PromptAnswer::Ok;
};

/// Shows modal message boxes; tests inject a scripted one that records and answers them.
class Prompter
{
public:
    virtual ~Prompter() = default;
    /** Shows @p request modal to @p parent. @return the button pressed (No when a Yes/No box is closed). */
    virtual PromptAnswer prompt(QWidget* parent, const PromptRequest& request) = 0;
};

/// The real message boxes, always with plain text.
class MessageBoxPrompter final : public Prompter
{
public:
    PromptAnswer prompt(QWidget* parent, const PromptRequest& request) override;
};

} // namespace widgets
