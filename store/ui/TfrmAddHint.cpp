#include "store/ui/TfrmAddHint.h"

#include "ui_TfrmAddHint.h"

#include "controls/WindowLook.h"

namespace selva {

TfrmAddHint::TfrmAddHint(std::vector<std::string>& notes, const QString& sourceFileName, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfrmAddHint>()), notes_(notes)
{
    ui->setupUi(this);
    takeLookFrom(this, parent);

    ui->lblFileName->setText(sourceFileName);
    ui->memHint->setPlainText(textOfLines(notes_));

    connect(ui->OKBtn, &QPushButton::clicked, this, &TfrmAddHint::OKBtnClick);
    connect(ui->CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmAddHint::~TfrmAddHint() = default;

QString TfrmAddHint::textOfLines(const std::vector<std::string>& lines)
{
    QString text;
    for (const std::string& line : lines)
        text += QString::fromStdString(line) + QLatin1Char('\n');
    return text;
}

std::vector<std::string> TfrmAddHint::linesOfText(const QString& text)
{
    std::vector<std::string> lines;
    QString line;
    bool open = false; // characters (or nothing yet) after the last break belong to a line
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool lineBreak = c == QLatin1Char('\n') || c == QLatin1Char('\r') ||
                               c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
        if (!lineBreak) {
            line += c;
            open = true;
            continue;
        }
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
            ++i;
        lines.push_back(line.toStdString());
        line.clear();
        open = false;
    }
    if (open)
        lines.push_back(line.toStdString());
    return lines;
}

void TfrmAddHint::OKBtnClick()
{
    notes_ = linesOfText(ui->memHint->toPlainText());
    emit notesStored();
    accept();
}

} // namespace selva
