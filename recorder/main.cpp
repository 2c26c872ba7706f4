// The program's entry.
#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Solvane");
  QMessageBox::information(nullptr, "Solvane", "The deck is not available in this build yet.");
  return 0;
}
