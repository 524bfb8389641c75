// Taking the first page's source on a worker thread while the wizard keeps painting: the wait
// cursor, an IntakeProgressDialog for work that lasts more than a moment, Cancel while
// downloading. The wizard's window takes no input meanwhile, as under a modal dialog. What is
// done with the source is takeSource's business, not this file's.
#pragma once

#include <string>

#include "install/SourceIntake.h"

class QWidget;

// Runs takeSource(text, context) on a worker thread and returns its outcome, processing the GUI
// thread's events until then. The context's progress callbacks are replaced by the dialog's,
// which belongs to `owner`. A downloading module that cannot be loaded is reported on standard
// error and refused as a failed download.
IntakeOutcome takeSourceOffThread(const std::string& text, IntakeContext context, QWidget& owner);
