// The window program. Its analysis window is being built; until then it says so and exits.
#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Selvarondine");
    QMessageBox::information(nullptr, "Selvarondine", "The analysis window is not built yet; use selvarondine-cli.");
    return 0;
}
