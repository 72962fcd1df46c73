#include "platform/gtk/GtkPrinting.h"

#include <gtk/gtkunixprint.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "platform/SysLog.h"
#include "platform/pdf/PdfPrinting.h"

namespace cvl::GtkPrinting {
namespace {

// The choices of the last print dialog, offered again by the next one (main thread only).
GtkPrintSettings* gLastSettings = nullptr;
GtkPageSetup* gLastSetup = nullptr;

template <class T>
struct GUnref {
    void operator()(T* p) const {
        if (p) g_object_unref(p);
    }
};
template <class T>
using GPtr = std::unique_ptr<T, GUnref<T>>;

void answer(std::function<void(PrintOutcome)> done, PrintOutcome outcome) {
    Dispatch::main().async(
        [done = std::move(done), outcome = std::move(outcome)] { done(outcome); });
}

PrintOutcome failure(const std::string& message) {
    PrintOutcome o;
    o.message = message;
    return o;
}

std::vector<std::pair<int, int>> rangesOf(GtkPageRange* ranges, int n) {
    std::vector<std::pair<int, int>> out;
    for (int i = 0; i < n; ++i) out.emplace_back(ranges[i].start, ranges[i].end);
    return out;
}

PrintSelection::Pages pagesOf(GtkPrintPages pages) {
    return pages == GTK_PRINT_PAGES_CURRENT  ? PrintSelection::Pages::current
           : pages == GTK_PRINT_PAGES_RANGES ? PrintSelection::Pages::ranges
                                             : PrintSelection::Pages::all;
}

PrintSelection::PageSet setOf(GtkPageSet set) {
    return set == GTK_PAGE_SET_EVEN  ? PrintSelection::PageSet::even
           : set == GTK_PAGE_SET_ODD ? PrintSelection::PageSet::odd
                                     : PrintSelection::PageSet::all;
}

// Copies of the order: the whole sequence again when collated, each page repeated when not.
std::vector<int> withCopies(const std::vector<int>& order, int copies, bool collate) {
    if (copies <= 1) return order;
    std::vector<int> out;
    if (collate) {
        for (int c = 0; c < copies; ++c) out.insert(out.end(), order.begin(), order.end());
    } else {
        for (int p : order)
            for (int c = 0; c < copies; ++c) out.push_back(p);
    }
    return out;
}

// "Print to File" as PDF: the chosen pages themselves, written atomically.
bool wantsPdfFile(GtkPrintSettings* settings, std::string& path) {
    const char* uri = gtk_print_settings_get(settings, GTK_PRINT_SETTINGS_OUTPUT_URI);
    if (!uri || !*uri) return false;
    const char* format = gtk_print_settings_get(settings, GTK_PRINT_SETTINGS_OUTPUT_FILE_FORMAT);
    const bool pdf = format ? std::strcmp(format, "pdf") == 0
                            : std::string(uri).size() > 4 &&
                                  std::string(uri).substr(std::string(uri).size() - 4) == ".pdf";
    if (!pdf) return false;
    gchar* file = g_filename_from_uri(uri, nullptr, nullptr);
    if (!file) return false;
    path = file;
    g_free(file);
    return true;
}

PrintOutcome writePdfFile(const PdfDocument& doc, GtkPrintSettings* settings, int current,
                          const std::string& path) {
    PrintSelection sel;
    sel.which = pagesOf(gtk_print_settings_get_print_pages(settings));
    int n = 0;
    GtkPageRange* ranges = gtk_print_settings_get_page_ranges(settings, &n);
    sel.ranges = rangesOf(ranges, n);
    g_free(ranges);
    sel.set = setOf(gtk_print_settings_get_page_set(settings));
    sel.reverse = gtk_print_settings_get_reverse(settings);
    sel.current = current;
    const auto order =
        withCopies(printOrder(doc.pageCount(), sel), gtk_print_settings_get_n_copies(settings),
                   gtk_print_settings_get_collate(settings));
    auto bytes = printedPdf(doc, order);
    if (!bytes) return failure(bytes.error());
    if (auto written = writeFileAtomic(path, *bytes); !written)
        return failure("The file could not be written: " + written.error());
    PrintOutcome o;
    o.printed = true;
    o.outputFile = path;
    return o;
}

// A print job to a printer: each chosen page drawn at the printer's resolution, one page per
// turn of the main loop so the windows stay responsive.
struct PrinterRun {
    PdfDocument doc;
    std::function<void(PrintOutcome)> done;
    GPtr<GtkPrintJob> job;
    GPtr<GtkPageSetup> setup;
    cairo_t* cr = nullptr;
    std::vector<int> order;
    size_t next = 0;
    double dpi = kDefaultPrintDpi;

    ~PrinterRun() {
        if (cr) cairo_destroy(cr);
    }
};

void drawPage(PrinterRun& run, int page) {
    GtkPageSetup* setup = run.setup.get();
    const double left = gtk_page_setup_get_left_margin(setup, GTK_UNIT_POINTS);
    const double top = gtk_page_setup_get_top_margin(setup, GTK_UNIT_POINTS);
    const double areaW = gtk_page_setup_get_page_width(setup, GTK_UNIT_POINTS);
    const double areaH = gtk_page_setup_get_page_height(setup, GTK_UNIT_POINTS);
    auto box = run.doc.cropBox(page);
    if (!box) return;
    double w = box->width(), h = box->height();
    if (run.doc.rotation(page) % 180 != 0) std::swap(w, h);
    // A landscape page on portrait paper is turned when it then prints larger.
    PrintPlacement straight = placeOnPaper(w, h, areaW, areaH);
    PrintPlacement turned = placeOnPaper(h, w, areaW, areaH);
    const bool turn = turned.scale > straight.scale + 1e-6;
    const PrintPlacement place = turn ? turned : straight;
    auto bitmap = renderForPrinter(run.doc, page, run.dpi, place.scale);
    if (!bitmap) return;
    cairo_surface_t* image =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, bitmap->width, bitmap->height);
    cairo_surface_flush(image);
    unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    for (int y = 0; y < bitmap->height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
        const uint8_t* src = bitmap->pixels.data() + static_cast<size_t>(y) * bitmap->width * 3;
        for (int x = 0; x < bitmap->width; ++x)
            row[x] =
                (uint32_t(src[3 * x]) << 16) | (uint32_t(src[3 * x + 1]) << 8) | src[3 * x + 2];
    }
    cairo_surface_mark_dirty(image);
    cairo_t* cr = run.cr;
    cairo_save(cr);
    const double drawnW = w * place.scale, drawnH = h * place.scale;  // in the page's orientation
    if (turn) {
        cairo_translate(cr, left + place.x + drawnH, top + place.y);
        cairo_rotate(cr, G_PI / 2);
    } else {
        cairo_translate(cr, left + place.x, top + place.y);
    }
    cairo_scale(cr, drawnW / bitmap->width, drawnH / bitmap->height);
    cairo_set_source_surface(cr, image, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_surface_destroy(image);
}

void sent(GtkPrintJob*, gpointer data, const GError* error) {
    auto* run = static_cast<std::shared_ptr<PrinterRun>*>(data);
    PrintOutcome o;
    if (error) {
        o.message = std::string("The printer did not take the job: ") + error->message;
    } else {
        o.printed = true;
    }
    answer((*run)->done, o);
}

// A reference to a run for a GLib callback, released by its destroy notify.
gpointer holdRun(const std::shared_ptr<PrinterRun>& run) {
    return std::make_unique<std::shared_ptr<PrinterRun>>(run).release();
}
void dropRun(gpointer data) {
    std::unique_ptr<std::shared_ptr<PrinterRun>>(static_cast<std::shared_ptr<PrinterRun>*>(data));
}

gboolean drawNext(gpointer data) {
    auto run = *static_cast<std::shared_ptr<PrinterRun>*>(data);
    if (run->next < run->order.size()) {
        drawPage(*run, run->order[run->next++]);
        cairo_show_page(run->cr);
        return G_SOURCE_CONTINUE;
    }
    cairo_surface_t* surface = cairo_get_target(run->cr);
    cairo_destroy(run->cr);
    run->cr = nullptr;
    cairo_surface_finish(surface);
    gtk_print_job_send(run->job.get(), sent, holdRun(run), dropRun);
    return G_SOURCE_REMOVE;
}

void printToPrinter(const PdfDocument& doc, GtkPrinter* printer, GtkPrintSettings* settings,
                    GtkPageSetup* setup, const std::string& title, int current,
                    std::function<void(PrintOutcome)> done) {
    auto run = std::make_shared<PrinterRun>();
    run->doc = doc;
    run->done = std::move(done);
    run->setup.reset(setup ? GTK_PAGE_SETUP(g_object_ref(setup)) : gtk_page_setup_new());
    run->job.reset(gtk_print_job_new(title.c_str(), printer, settings, run->setup.get()));
    GError* error = nullptr;
    cairo_surface_t* surface = gtk_print_job_get_surface(run->job.get(), &error);
    if (!surface) {
        answer(run->done, failure(std::string("The print job could not start: ") +
                                  (error ? error->message : "no surface")));
        if (error) g_error_free(error);
        return;
    }
    GtkPrintJob* job = run->job.get();
    PrintSelection sel;
    sel.which = pagesOf(gtk_print_job_get_pages(job));
    int n = 0;
    GtkPageRange* ranges = gtk_print_job_get_page_ranges(job, &n);  // owned by the job
    sel.ranges = rangesOf(ranges, n);
    sel.set = setOf(gtk_print_job_get_page_set(job));
    sel.reverse = gtk_print_job_get_reverse(job);
    sel.current = current;
    run->order = withCopies(printOrder(doc.pageCount(), sel), gtk_print_job_get_num_copies(job),
                            gtk_print_job_get_collate(job));
    if (run->order.empty()) {
        answer(run->done, failure("No pages were chosen to print."));
        return;
    }
    const int resolution = gtk_print_settings_get_resolution(settings);
    run->dpi = resolution > 0 ? resolution : kDefaultPrintDpi;
    run->cr = cairo_create(surface);
    g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, drawNext, holdRun(run), dropRun);
}

void remember(GtkPrintSettings* settings, GtkPageSetup* setup) {
    if (settings) {
        if (gLastSettings) g_object_unref(gLastSettings);
        gLastSettings = gtk_print_settings_copy(settings);
    }
    if (setup) {
        if (gLastSetup) g_object_unref(gLastSetup);
        gLastSetup = gtk_page_setup_copy(setup);
    }
}

// Both print routes once the settings (and, for a printer, the printer) are known.
void printWith(const PdfDocument& doc, GtkPrinter* printer, GtkPrintSettings* settings,
               GtkPageSetup* setup, const PrintRequest& request,
               std::function<void(PrintOutcome)> done) {
    std::string file;
    if (wantsPdfFile(settings, file))
        return answer(std::move(done), writePdfFile(doc, settings, request.currentPage, file));
    if (!printer) return answer(std::move(done), failure("No printer was chosen."));
    printToPrinter(doc, printer, settings, setup, request.title, request.currentPage,
                   std::move(done));
}

struct PrinterSearch {
    std::string name;
    GtkPrinter* found = nullptr;
};

gboolean matchPrinter(GtkPrinter* printer, gpointer data) {
    auto* search = static_cast<PrinterSearch*>(data);
    if (search->name == gtk_printer_get_name(printer)) {
        search->found = GTK_PRINTER(g_object_ref(printer));
        return TRUE;
    }
    return FALSE;
}

// The scripted route: settings from a key file, no dialog.
void printFromSettingsFile(const PdfDocument& doc, const std::string& file,
                           const PrintRequest& request, std::function<void(PrintOutcome)> done) {
    GError* error = nullptr;
    GPtr<GtkPrintSettings> settings(gtk_print_settings_new_from_file(file.c_str(), &error));
    if (!settings) {
        answer(std::move(done), failure(std::string("The print settings could not be read: ") +
                                        (error ? error->message : file)));
        if (error) g_error_free(error);
        return;
    }
    GPtr<GtkPageSetup> setup(gtk_page_setup_new());
    std::string out;
    if (wantsPdfFile(settings.get(), out))
        return printWith(doc, nullptr, settings.get(), setup.get(), request, std::move(done));
    PrinterSearch search;
    const char* name = gtk_print_settings_get_printer(settings.get());
    search.name = name ? name : "";
    gtk_enumerate_printers(matchPrinter, &search, nullptr, TRUE);
    GPtr<GtkPrinter> printer(search.found);
    if (!printer) {
        answer(std::move(done), failure("The printer “" + search.name + "” was not found."));
        return;
    }
    printWith(doc, printer.get(), settings.get(), setup.get(), request, std::move(done));
}

// What an open dialog prints; owned by the dialog. A dialog destroyed without an answer
// counts as cancelled.
struct DialogRun {
    PdfDocument doc;
    PrintRequest request;
    std::function<void(PrintOutcome)> done;

    ~DialogRun() {
        if (!done) return;
        PrintOutcome o;
        o.cancelled = true;
        answer(std::move(done), o);
    }
};
constexpr const char* kRunKey = "cvl-print-run";

void dialogAnswered(GtkDialog* dialog, gint response, gpointer) {
    auto* run = static_cast<DialogRun*>(g_object_get_data(G_OBJECT(dialog), kRunKey));
    if (!run) return;
    GtkPrintUnixDialog* pd = GTK_PRINT_UNIX_DIALOG(dialog);
    if (response != GTK_RESPONSE_OK) {
        gtk_widget_destroy(GTK_WIDGET(dialog));  // answers "cancelled"
        return;
    }
    GPtr<GtkPrintSettings> settings(gtk_print_unix_dialog_get_settings(pd));
    GtkPageSetup* setup = gtk_print_unix_dialog_get_page_setup(pd);  // owned by the dialog
    GtkPrinter* printer = gtk_print_unix_dialog_get_selected_printer(pd);
    GPtr<GtkPrinter> held(printer ? GTK_PRINTER(g_object_ref(printer)) : nullptr);
    GPtr<GtkPageSetup> heldSetup(setup ? GTK_PAGE_SETUP(g_object_ref(setup)) : nullptr);
    remember(settings.get(), setup);
    PdfDocument doc = run->doc;
    PrintRequest request = run->request;
    auto done = std::move(run->done);
    run->done = nullptr;
    gtk_widget_destroy(GTK_WIDGET(dialog));
    printWith(doc, held.get(), settings.get(), heldSetup.get(), request, std::move(done));
}

}  // namespace

void print(GtkWindow* parent, const PrintRequest& request, std::function<void(PrintOutcome)> done) {
    auto opened = PdfDocument::openBytes(request.pdfBytes);
    if (!opened) return answer(std::move(done), failure(opened.error()));
    if (opened->isLocked())
        return answer(std::move(done), failure("This document needs its password to be printed."));
    if (const char* file = std::getenv("CVL_PRINT_SETTINGS"); file && *file) {
        cvlLog("print: %s with the settings in %s", request.title.c_str(), file);
        return printFromSettingsFile(*opened, file, request, std::move(done));
    }
    GtkWidget* dialog = gtk_print_unix_dialog_new("Print", parent);
    GtkPrintUnixDialog* pd = GTK_PRINT_UNIX_DIALOG(dialog);
    if (gLastSettings) gtk_print_unix_dialog_set_settings(pd, gLastSettings);
    if (gLastSetup) gtk_print_unix_dialog_set_page_setup(pd, gLastSetup);
    gtk_print_unix_dialog_set_current_page(pd, request.currentPage);
    gtk_print_unix_dialog_set_manual_capabilities(
        pd,
        GtkPrintCapabilities(GTK_PRINT_CAPABILITY_PAGE_SET | GTK_PRINT_CAPABILITY_COPIES |
                             GTK_PRINT_CAPABILITY_COLLATE | GTK_PRINT_CAPABILITY_REVERSE |
                             GTK_PRINT_CAPABILITY_GENERATE_PDF | GTK_PRINT_CAPABILITY_GENERATE_PS));
    gtk_print_unix_dialog_set_embed_page_setup(pd, TRUE);
    if (parent) gtk_window_set_transient_for(GTK_WINDOW(dialog), parent);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    auto run = std::make_unique<DialogRun>();
    run->doc = *opened;
    run->request = request;
    run->request.pdfBytes.clear();  // the document holds its own copy
    run->done = std::move(done);
    g_object_set_data_full(G_OBJECT(dialog), kRunKey, run.release(), [](gpointer p) {
        std::unique_ptr<DialogRun>(static_cast<DialogRun*>(p));
    });
    g_signal_connect(dialog, "response", G_CALLBACK(dialogAnswered), nullptr);
    gtk_widget_show(dialog);
}

}  // namespace cvl::GtkPrinting
