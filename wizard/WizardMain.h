// The wizard module's one entry point: the only way into the GUI, so that the program itself
// needs nothing of Qt Widgets and loads the module only when the wizard opens.
#pragma once

// Runs the wizard with `initialSource` as the first page's text; a web address is downloaded
// through the module file `downloaderModule`, loaded when the first download starts. Returns
// the exit status.
extern "C" int tockit_run_wizard(int argc, char** argv, const char* initialSource,
                                 const char* downloaderModule);

using WizardEntry = int(int argc, char** argv, const char* initialSource,
                        const char* downloaderModule);
inline constexpr const char* wizardEntryName = "tockit_run_wizard";
