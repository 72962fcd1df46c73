// Printing a PDF through the desktop's print dialog. A printer gets every chosen page drawn
// by MuPDF at the printer's resolution; "Print to File" as PDF gets the chosen pages
// themselves, so the file keeps its text. The dialog remembers the last choices.
//
// CVL_PRINT_SETTINGS names a GtkPrintSettings key file used instead of the dialog (for
// scripted and test launches): its "printer" (or "output-uri" with "output-file-format" pdf),
// "print-pages", "page-ranges" and the other print settings decide the job.
#pragma once

#include <gtk/gtk.h>

#include <functional>

#include "window/AppActions.h"

namespace cvl::GtkPrinting {

void print(GtkWindow* parent, const PrintRequest& request, std::function<void(PrintOutcome)> done);

}  // namespace cvl::GtkPrinting
