#include "prompter.h"

#include <QMessageBox>
#include <QPushButton>

namespace widgets {

namespace {

QMessageBox::Icon messageBoxIcon(PromptIcon icon)
{
    switch (icon) {
    case PromptIcon::None:
        return QMessageBox::NoIcon;
    case PromptIcon::Information:
        return QMessageBox::Information;
    case PromptIcon::Warning:
        return QMessageBox::Warning;
    case PromptIcon::Critical:
        return QMessageBox::Critical;
    case PromptIcon::Question:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

} // namespace

PromptAnswer MessageBoxPrompter::prompt(QWidget* parent, const PromptRequest& request)
{
    QMessageBox box(messageBoxIcon(request.icon), request.title, request.text, QMessageBox::NoButton, parent);
    // Texts may hold names and messages from the network: never read them as markup.
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    if (request.buttons == PromptButtons::YesNo) {
        QPushButton* yes = box.addButton(QMessageBox::Yes);
        QPushButton* no = box.addButton(QMessageBox::No);
        box.setDefaultButton(request.defaultAnswer == PromptAnswer::No ? no : yes);
        box.setEscapeButton(no); // closing the box counts as No
        box.exec();
        return box.clickedButton() == yes ? PromptAnswer::Yes : PromptAnswer::No;
    }
    box.setDefaultButton(box.addButton(QMessageBox::Ok));
    box.exec();
    return PromptAnswer::Ok;
}

} // namespace widgets
