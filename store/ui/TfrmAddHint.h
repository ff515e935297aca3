#pragma once

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

namespace Ui {
class TfrmAddHint;
}

namespace selva {

// "Selvarondine - ввод пояснений": edits the project notes, a list of text lines (UTF-8). The memo gets a
// copy of the notes; "OK" replaces the notes with the memo's lines and closes the window with
// QDialog::Accepted (notesStored is emitted); "Cancel", Esc and closing the window change nothing.
class TfrmAddHint : public QDialog {
    Q_OBJECT
public:
    // `sourceFileName` is shown after "Источник данных:". Takes its background colour and font from
    // `parent` (the analysis window) when one is given.
    TfrmAddHint(std::vector<std::string>& notes, const QString& sourceFileName, QWidget* parent = nullptr);
    ~TfrmAddHint() override;

    // The memo text of a list of lines, and the lines of a memo text. Every line ends with a line break,
    // and one empty line after the last break is not a line, so a list survives the round trip exactly,
    // empty lines included; CR LF, CR and LF all break lines.
    static QString textOfLines(const std::vector<std::string>& lines);
    static std::vector<std::string> linesOfText(const QString& text);

signals:
    void notesStored();

private:
    void OKBtnClick();

    std::unique_ptr<Ui::TfrmAddHint> ui;
    std::vector<std::string>& notes_;
};

} // namespace selva
