#include "store/ui/TfrmAbout.h"

#include "ui_TfrmAbout.h"

#include <QCoreApplication>

namespace selva {

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TfrmAbout>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    if (parent) {
        setPalette(parent->palette());
        setFont(parent->font());
    }
    const QString version = QCoreApplication::applicationVersion();
    ui->lblVersion->setText(
        QStringLiteral("Version %1").arg(version.isEmpty() ? QStringLiteral("0.1.0") : version));
    ui->lblCredits->setText(
        QStringLiteral("Built with Qt %1, Qt Charts and libjpeg.\nThe Selvarondine developers.")
            .arg(QString::fromLatin1(qVersion())));
    connect(ui->OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

TfrmAbout::~TfrmAbout() = default;

} // namespace selva
