// Placeholder entry point into the GUI so that the program links while the wizard is built.
#include "app/WizardMain.h"

#include <QApplication>

int runWizard(int argc, char** argv, const std::string& /*initialSource*/) {
    QApplication application(argc, argv);
    return 0;
}
