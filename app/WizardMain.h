// Runs the wizard: the only entry point into the GUI, so that the command line needs nothing
// of Qt Widgets. `initialSource` is the first page's text at start.
#pragma once

#include <string>

int runWizard(int argc, char** argv, const std::string& initialSource);
